# The Debian package (`cpack -G DEB` in a build configured with -DCMAKE_INSTALL_PREFIX=/usr): one
# package with the library, its development files, the tool and the stand-in engine.

set(VARNHOLT_PACKAGE_CONTACT "Varnholt maintainers <varnholt@example.invalid>"
    CACHE STRING "Maintainer field of the packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnholt)
set(CPACK_PACKAGE_VENDOR Kestrin)
set(CPACK_PACKAGE_CONTACT "${VARNHOLT_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Database names, connection strings and provisioning for the database engine")
set(CPACK_PACKAGE_DESCRIPTION "\
Varnholt works with the database engine on behalf of desktop applications:
it builds ODBC connection strings, finds and creates the engine's database
names for a company's data folder, and administers an engine.
This package holds libvarnholt with its headers, CMake package and pkg-config
file, the varnholt command-line tool, and the stand-in engine the tool runs
against (in a private library folder, with its ODBC driver registered for the
tool alone).")
# Absolute paths written at install time (odbcinst.ini, varnholt.pc) must name /usr, not the
# staging folder: stage with DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
# Depends from the libraries the binaries link: libodbc2 (the ODBC driver manager), the C++
# run time, and the X libraries of the login window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs entry for libvarnholt.so.26 (written here: CPack's own would list the stand-in's
# unversioned libraries too), and the ldconfig trigger.
set(debian_dir ${PROJECT_BINARY_DIR}/packaging/debian)
file(WRITE ${debian_dir}/shlibs
     "libvarnholt ${PROJECT_VERSION_MAJOR} varnholt (>= ${PROJECT_VERSION})\n")
file(WRITE ${debian_dir}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian_dir}/shlibs ${debian_dir}/triggers)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProject.cmake)

include(CPack)
