# Points Config.txt at the demo directory, unless the program folder has a Config.txt already.
# Run as: cmake -DQOVA_CONFIG_FILE=<path> -DQOVA_DIRECTORY_URL=<url> -P write_config.cmake
if(NOT QOVA_CONFIG_FILE OR NOT QOVA_DIRECTORY_URL)
  message(FATAL_ERROR "QOVA_CONFIG_FILE and QOVA_DIRECTORY_URL are both needed")
endif()
if(NOT EXISTS "${QOVA_CONFIG_FILE}")
  file(WRITE "${QOVA_CONFIG_FILE}" "URLTXT=${QOVA_DIRECTORY_URL}\r\n")
endif()
