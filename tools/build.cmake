# Build-time host programs: the image packer, the LE writer and the check of the VxD loader's
# rules. Their logic is also linked into the unit tests, so both the native and the MinGW build
# run them.
target_sources(morvane_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/PackImage.cpp
                                     ${PROJECT_SOURCE_DIR}/tools/LeWriter.cpp
                                     ${PROJECT_SOURCE_DIR}/tools/LeRules.cpp)

if(NOT CMAKE_CROSSCOMPILING)
  add_executable(mvn_pack ${PROJECT_SOURCE_DIR}/tools/PackMain.cpp
                          ${PROJECT_SOURCE_DIR}/tools/PackImage.cpp)
  mvn_target_defaults(mvn_pack)
  add_executable(mvn_le_write ${PROJECT_SOURCE_DIR}/tools/LeMain.cpp
                              ${PROJECT_SOURCE_DIR}/tools/LeWriter.cpp)
  mvn_target_defaults(mvn_le_write)
  add_executable(mvn_le_check ${PROJECT_SOURCE_DIR}/tools/LeCheckMain.cpp
                              ${PROJECT_SOURCE_DIR}/tools/LeRules.cpp)
  mvn_target_defaults(mvn_le_check)
  # The cross builds find them here, through MVN_HOST_TOOLS.
  set_target_properties(mvn_pack mvn_le_write mvn_le_check PROPERTIES
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()
