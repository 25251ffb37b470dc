# The Debian package "tarnwell" (`cpack -G DEB` in the build folder): what `cmake --install`
# puts under /usr, with dependencies worked out by dpkg-shlibdeps and maintainer scripts that
# apply the recorder's udev rule to recorders already plugged in.
set(TARNWELL_METAINFO_ID "com.velmora.tarnwell")

# The man pages go in gzipped, as Debian policy wants; -n keeps the archive reproducible.
find_program(TARNWELL_GZIP gzip REQUIRED)
set(TARNWELL_MAN_DIR "${PROJECT_BINARY_DIR}/man")
set(TARNWELL_MAN_PAGES)
foreach(page tarnwell.1 tarnwell-tool.1)
  set(source "${PROJECT_SOURCE_DIR}/resources/linux/${page}")
  set(output "${TARNWELL_MAN_DIR}/${page}.gz")
  add_custom_command(OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${TARNWELL_MAN_DIR}"
    COMMAND ${TARNWELL_GZIP} -9 -n -c "${source}" > "${output}"
    DEPENDS "${source}" VERBATIM)
  list(APPEND TARNWELL_MAN_PAGES "${output}")
endforeach()
add_custom_target(tarnwell_man_pages ALL DEPENDS ${TARNWELL_MAN_PAGES})
install(FILES ${TARNWELL_MAN_PAGES} DESTINATION share/man/man1)
install(FILES "${PROJECT_SOURCE_DIR}/resources/linux/${TARNWELL_METAINFO_ID}.metainfo.xml"
        DESTINATION share/metainfo)

set(CPACK_PACKAGE_NAME "tarnwell")
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Velmora USB voice recorders")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnwell finds the connected Velmora digital voice recorder, asks Velmora's update
service whether newer firmware exists for it, downloads the package and writes it into the
recorder. It runs as a desktop wizard or, with --text, in the terminal.

The package also holds tarnwell-tool, a command line for diagnostics and scripting, and
the udev rule that hands a recorder's SCSI devices to the user of the local session, so
that no update needs root.")
set(CPACK_PACKAGE_CONTACT "Velmora Tarnwell developers <tarnwell@velmora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
set(CPACK_SOURCE_GENERATOR "")
# `cpack` strips the bundle's programs (see resources/CMakeLists.txt).
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://app.updates.velmora.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without udev a recorder is reachable by root only; without UDisks2 a user cannot unmount
# one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, udisks2")
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# The package of a sanitizer build is not what ships, and its test would only repeat the
# default build's at several times the cost.
if(TARNWELL_TESTS AND NOT TARNWELL_SANITIZE)
  add_subdirectory(tests/packaging)
endif()
