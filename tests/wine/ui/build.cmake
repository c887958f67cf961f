# The windows for real under Wine, each run on a private Xvfb screen and a fresh Wine session:
# ui_window_wine runs windowed mode over the simulated chip at 96 dpi on a 1024x768 screen and
# drives the main and About windows as a user would; ui_window_120dpi_wine (1024x768) and
# ui_window_144dpi_wine (1920x1080) check that both windows fit those screens whole. Each leaves
# its screenshots in the build folder's ui-window-96/, ui-window-120/ or ui-window-144/.
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

# name, dots per inch, screen
foreach(run IN ITEMS "ui_window_wine;96;1024x768" "ui_window_120dpi_wine;120;1024x768"
                     "ui_window_144dpi_wine;144;1920x1080")
  list(GET run 0 name)
  list(GET run 1 dpi)
  list(GET run 2 screen)
  add_test(NAME ${name}
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/ui/run-window-test.sh ${PROJECT_SOURCE_DIR}
            ${CMAKE_BINARY_DIR}/wine64 $<TARGET_FILE:mvn_ui_window_test>
            ${CMAKE_BINARY_DIR}/ui-window-${dpi} ${dpi} ${screen})
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK mvn_wine64 TIMEOUT 300)
endforeach()
