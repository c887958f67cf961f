# Build-time host programs: the image packer. Its logic is also linked into the unit tests, so
# both the native and the MinGW build run them.
target_sources(morvane_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/PackImage.cpp)

if(NOT CMAKE_CROSSCOMPILING)
  add_executable(mvn_pack ${PROJECT_SOURCE_DIR}/tools/PackMain.cpp
                          ${PROJECT_SOURCE_DIR}/tools/PackImage.cpp)
  mvn_target_defaults(mvn_pack)
  # The cross build finds the packer here, through MVN_HOST_TOOLS.
  set_target_properties(mvn_pack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()
