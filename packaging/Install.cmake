# What `cmake --install` lays out. Linux, in three components that are the three Debian packages:
# runtime (the shared library), development (headers, CMake package, pkg-config file, the
# unversioned .so) and tool (the varnholt tool with its manual page and bash completion, and the
# stand-in engine in a private library folder); each also gets its copyright and changelog.
# Windows: Varnholt.dll and its type library, which packaging/windows/ gathers from both
# architectures into the zip.

if(WIN32)
  if(TARGET Varnholt)
    install(TARGETS Varnholt RUNTIME DESTINATION . COMPONENT windows_dll)
    install(FILES ${PROJECT_BINARY_DIR}/src/component/generated/varnholt.tlb
            DESTINATION . RENAME Varnholt.tlb COMPONENT windows_dll)
  endif()
  return()
endif()

include(CMakePackageConfigHelpers)
set(VARNHOLT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Varnholt)
set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)

# The library. Its public headers need C++20; consumers of the CMake package get that through
# the target.
target_compile_features(varnholt INTERFACE cxx_std_20)
install(TARGETS varnholt EXPORT VarnholtTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/varnholt DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")

install(EXPORT VarnholtTargets NAMESPACE Varnholt:: DESTINATION ${VARNHOLT_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VarnholtConfig.cmake.in
  ${packaging_dir}/VarnholtConfig.cmake INSTALL_DESTINATION ${VARNHOLT_CMAKE_DIR})
write_basic_package_version_file(${packaging_dir}/VarnholtConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${packaging_dir}/VarnholtConfig.cmake ${packaging_dir}/VarnholtConfigVersion.cmake
  DESTINATION ${VARNHOLT_CMAKE_DIR} COMPONENT development)

# The stand-in engine, off the loader's default path so that it never shadows a real engine's
# libraries for other programs; the tool reaches it through its runpath.
install(TARGETS standin_w3dbav75 standin_w3dbav78 standin_w3dbav80 standin_w3dbav90 varnholt_standin_odbc
  LIBRARY DESTINATION ${VARNHOLT_PRIVATE_LIBDIR} COMPONENT tool)

# Files naming absolute install paths are written when installing, with the prefix of that
# install (`cmake --install --prefix DIR`, or the package's /usr), then installed like any other.
function(varnholt_install_configured template destination component)
  get_filename_component(name ${template} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  install(CODE "
    set(VARNHOLT_VERSION [[${PROJECT_VERSION}]])
    set(VARNHOLT_LIBDIR [[${CMAKE_INSTALL_LIBDIR}]])
    set(VARNHOLT_INCLUDEDIR [[${CMAKE_INSTALL_INCLUDEDIR}]])
    set(VARNHOLT_PRIVATE_LIBDIR [[${VARNHOLT_PRIVATE_LIBDIR}]])
    set(VARNHOLT_DRIVER [[$<TARGET_FILE_NAME:varnholt_standin_odbc>]])
    configure_file([[${template}]] [[${packaging_dir}/install/${name}]] @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\" TYPE FILE
         FILES [[${packaging_dir}/install/${name}]])" COMPONENT ${component})
endfunction()
varnholt_install_configured(${CMAKE_CURRENT_LIST_DIR}/varnholt.pc.in ${CMAKE_INSTALL_LIBDIR}/pkgconfig development)
# The driver registered for the tool alone: nothing under /etc changes.
varnholt_install_configured(${CMAKE_CURRENT_LIST_DIR}/odbcinst.ini.in ${VARNHOLT_PRIVATE_LIBDIR} tool)

# The manual page (built from docs/varnholt.1.in and the command table), compressed as Debian
# keeps them.
find_program(VARNHOLT_GZIP gzip REQUIRED)
if(TARGET varnholt-cli)
  install(CODE "
    execute_process(COMMAND [[${VARNHOLT_GZIP}]] -9 -n -c [[${VARNHOLT_MANUAL_PAGE}]]
                    OUTPUT_FILE [[${packaging_dir}/install/varnholt.1.gz]] COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\" TYPE FILE
         FILES [[${packaging_dir}/install/varnholt.1.gz]])" COMPONENT tool)
endif()

# Every package's licence (machine-readable) and Debian changelog, in its own doc folder. gzip -n:
# the same bytes on every build.
set(changelog_gz ${packaging_dir}/changelog.Debian.gz)
set(changelog ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
execute_process(COMMAND ${VARNHOLT_GZIP} -9 -n -c ${changelog} OUTPUT_FILE ${changelog_gz} COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
foreach(component_package runtime:libvarnholt${PROJECT_VERSION_MAJOR} development:libvarnholt-dev tool:varnholt)
  string(REPLACE ":" ";" component_package ${component_package})
  list(GET component_package 0 component)
  list(GET component_package 1 package)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${changelog_gz}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
# Lintian tags that the way CPack builds a package causes, each justified in the file.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/libvarnholt${PROJECT_VERSION_MAJOR}.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME libvarnholt${PROJECT_VERSION_MAJOR}
        COMPONENT runtime)

include(${CMAKE_CURRENT_LIST_DIR}/Debian.cmake)
