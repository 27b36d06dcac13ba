# Read by cpack before it runs a generator.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "A Debian package installs under /usr: configure its build with "
                      "-DCMAKE_INSTALL_PREFIX=/usr (this one installs under ${CPACK_INSTALL_PREFIX}).")
endif()
