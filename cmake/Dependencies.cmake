# Every library comes from Debian's packages (scripts/install-deps).
find_package(Qt6 6.4 REQUIRED COMPONENTS Core)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
if(TARNWELL_TESTS)
  find_package(GTest CONFIG REQUIRED)
  include(GoogleTest)
endif()
