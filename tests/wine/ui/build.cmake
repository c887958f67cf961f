# The windows for real under Wine and Xvfb (MinGW build only): ui_window_wine runs windowed mode
# over the simulated chip, drives the main and About windows as a user would and leaves its
# screenshots in the build folder's ui-window/.
if(NOT WIN32 OR NOT TARGET morvane_ui_win32 OR NOT COMMAND mvn_pack_program)
  return()
endif()

add_executable(mvn_ui_window_test ${PROJECT_SOURCE_DIR}/tests/wine/ui/WindowTest.cpp
                                  ${PROJECT_SOURCE_DIR}/tests/wine/ui/Png.cpp)
mvn_target_defaults(mvn_ui_window_test)
target_compile_definitions(mvn_ui_window_test PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501
                                                      WINVER=0x0501)
target_link_libraries(mvn_ui_window_test PRIVATE morvane_ui_win32 morvane_os_win32_sim
                                                 morvane_core)
mvn_ui_manifest(mvn_ui_window_test)
mvn_pack_program(mvn_ui_window_test SIM)

add_test(NAME ui_window_wine
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/ui/run-window-test.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR}/wine64 $<TARGET_FILE:mvn_ui_window_test>
          ${CMAKE_BINARY_DIR}/ui-window)
set_tests_properties(ui_window_wine PROPERTIES RESOURCE_LOCK mvn_wine64 TIMEOUT 300)

