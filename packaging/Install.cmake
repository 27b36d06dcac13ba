# What `cmake --install` lays out. Linux: the library with its headers, CMake package and
# pkg-config file, the varnholt tool with its manual page, and the stand-in engine in a private
# library folder; the Debian package is made from exactly that. Windows: Varnholt.dll and its
# type library, which packaging/windows/ gathers from both architectures into the zip.

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
install(TARGETS varnholt EXPORT VarnholtTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/varnholt DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

install(EXPORT VarnholtTargets NAMESPACE Varnholt:: DESTINATION ${VARNHOLT_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VarnholtConfig.cmake.in
  ${packaging_dir}/VarnholtConfig.cmake INSTALL_DESTINATION ${VARNHOLT_CMAKE_DIR})
write_basic_package_version_file(${packaging_dir}/VarnholtConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${packaging_dir}/VarnholtConfig.cmake ${packaging_dir}/VarnholtConfigVersion.cmake
  DESTINATION ${VARNHOLT_CMAKE_DIR})

# The stand-in engine, off the loader's default path so that it never shadows a real engine's
# libraries for other programs; the tool reaches it through its runpath.
install(TARGETS standin_w3dbav75 standin_w3dbav78 standin_w3dbav80 standin_w3dbav90 varnholt_standin_odbc
  LIBRARY DESTINATION ${VARNHOLT_PRIVATE_LIBDIR})

# Files naming absolute install paths are written when installing, with the prefix of that
# install (`cmake --install --prefix DIR`, or the package's /usr), then installed like any other.
function(varnholt_install_configured template destination)
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
         FILES [[${packaging_dir}/install/${name}]])")
endfunction()
varnholt_install_configured(${CMAKE_CURRENT_LIST_DIR}/varnholt.pc.in ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# The driver registered for the tool alone: nothing under /etc changes.
varnholt_install_configured(${CMAKE_CURRENT_LIST_DIR}/odbcinst.ini.in ${VARNHOLT_PRIVATE_LIBDIR})

# The manual page, compressed as Debian keeps them.
if(TARGET varnholt-cli)
  find_program(VARNHOLT_GZIP gzip REQUIRED)
  install(CODE "
    execute_process(COMMAND [[${VARNHOLT_GZIP}]] -9 -n -c [[${PROJECT_SOURCE_DIR}/docs/varnholt.1]]
                    OUTPUT_FILE [[${packaging_dir}/install/varnholt.1.gz]] COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\" TYPE FILE
         FILES [[${packaging_dir}/install/varnholt.1.gz]])")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/Debian.cmake)
