# The Debian packages (`cpack -G DEB` in a build configured with -DCMAKE_INSTALL_PREFIX=/usr), one
# per install component:
#   libvarnholt26    runtime      libvarnholt.so.26 and its version-named file
#   libvarnholt-dev  development  headers, CMake package, pkg-config file, libvarnholt.so
#   varnholt         tool         the tool, its manual page and completion, the stand-in engine
# Each carries /usr/share/doc/<package>/copyright and changelog.Debian.gz (Install.cmake).

# The Debian revision is the one of the newest entry in packaging/debian/changelog, so that the
# packages and the changelog they carry never disagree.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^varnholt \\(([0-9.]+)-([0-9]+)\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with 'varnholt (VERSION-REVISION)'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/debian/changelog's newest entry is for ${CMAKE_MATCH_1}, the project is "
                      "${PROJECT_VERSION}: add an entry")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})
set(debian_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnholt)
set(CPACK_PACKAGE_VENDOR Kestrin)
set(CPACK_PACKAGE_CONTACT "Varnholt developers <dev@varnholt.org>")
# Absolute paths written at install time (odbcinst.ini, varnholt.pc) must name /usr, not the
# staging folder: stage with DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE varnholt)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends from the libraries the binaries link: libodbc2 (the ODBC driver manager), the C++ run
# time, and the X libraries of the login window (FLTK itself is linked statically).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The synopsis is each package's own, the first line of its description; a project-wide summary
# would be put before it.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
set(about "\
Varnholt works with the database engine on behalf of desktop applications:
it builds ODBC connection strings, finds and creates the engine's database
names for a company's data folder, and administers an engine.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvarnholt${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "\
database names, connection strings and provisioning (shared library)
${about}

This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvarnholt-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${debian_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "\
database names, connection strings and provisioning (development files)
${about}

This package holds the C++20 headers, the CMake package
(find_package(Varnholt)) and the pkg-config file of libvarnholt.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME varnholt)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION database)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "\
database names, connection strings and provisioning from a shell
${about}

This package holds the varnholt command-line tool with its manual page and
bash completion, and the stand-in engine the tool runs against (in a private
library folder, with its ODBC driver registered for the tool alone).")

# Until 26.5.0-2 one package named varnholt held the library and its development files.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_BREAKS "varnholt (<< 26.5.0-2)")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_REPLACES "varnholt (<< 26.5.0-2)")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_BREAKS "varnholt (<< 26.5.0-2)")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_REPLACES "varnholt (<< 26.5.0-2)")

# The runtime package's shlibs entry, for packages that link libvarnholt, and the ldconfig trigger.
set(debian_dir ${PROJECT_BINARY_DIR}/packaging/debian)
file(WRITE ${debian_dir}/shlibs
     "libvarnholt ${PROJECT_VERSION_MAJOR} ${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (>= ${PROJECT_VERSION})\n")
file(WRITE ${debian_dir}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${debian_dir}/shlibs ${debian_dir}/triggers)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProject.cmake)

include(CPack)
