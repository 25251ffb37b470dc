# Every library comes from Debian's packages (scripts/install-deps).
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Network DBus Gui Widgets)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
pkg_check_modules(MOUNT REQUIRED IMPORTED_TARGET mount)
find_package(ZLIB REQUIRED)
find_package(EXPAT REQUIRED)

# libsgutils2-dev ships neither a pkg-config file nor a CMake package.
find_path(SGUTILS2_INCLUDE_DIR scsi/sg_pt.h REQUIRED)
find_library(SGUTILS2_LIBRARY NAMES sgutils2 REQUIRED)
add_library(SgUtils2::SgUtils2 UNKNOWN IMPORTED)
set_target_properties(SgUtils2::SgUtils2 PROPERTIES
  IMPORTED_LOCATION "${SGUTILS2_LIBRARY}" INTERFACE_INCLUDE_DIRECTORIES "${SGUTILS2_INCLUDE_DIR}")

if(TARNWELL_TESTS)
  find_package(GTest CONFIG REQUIRED)
  include(GoogleTest)
  pkg_check_modules(UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
  find_program(UMOCKDEV_WRAPPER umockdev-wrapper REQUIRED)
endif()
