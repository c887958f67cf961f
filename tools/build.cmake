# Build-time host programs: the image packer and the LE writer. Their logic is also linked into
# the unit tests, so both the native and the MinGW build run them.
target_sources(morvane_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/PackImage.cpp
                                     ${PROJECT_SOURCE_DIR}/tools/LeWriter.cpp)

if(NOT CMAKE_CROSSCOMPILING)
  add_executable(mvn_pack ${PROJECT_SOURCE_DIR}/tools/PackMain.cpp
                          ${PROJECT_SOURCE_DIR}/tools/PackImage.cpp)
  mvn_target_defaults(mvn_pack)
  add_executable(mvn_le_write ${PROJECT_SOURCE_DIR}/tools/LeMain.cpp
                              ${PROJECT_SOURCE_DIR}/tools/LeWriter.cpp)
  mvn_target_defaults(mvn_le_write)
  # The cross builds find both here, through MVN_HOST_TOOLS.
  set_target_properties(mvn_pack mvn_le_write PROPERTIES
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()
