# The stand-in's store, one list for its own build and for the fuzz targets (paths relative to
# standin/).
set(VARNHOLT_STANDIN_STORE_SOURCES store/Answers.cpp store/EngineHome.cpp store/Faults.cpp store/Files.cpp
    store/Journal.cpp store/NameStore.cpp store/Text.cpp odbc/DriverText.cpp odbc/DriverSession.cpp)
if(WIN32)
  list(APPEND VARNHOLT_STANDIN_STORE_SOURCES store/FilesWin32.cpp)
else()
  list(APPEND VARNHOLT_STANDIN_STORE_SOURCES store/FilesPosix.cpp)
endif()
