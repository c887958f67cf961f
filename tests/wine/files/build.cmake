# Wine test of register-file saves against crashes (MinGW build only): a program saving in a
# loop through the real os layer is killed at random moments, and the file must always hold
# one complete state. Runs in the 64-bit test prefix, holding its lock.
if(NOT WIN32)
  return()
endif()

add_executable(mvn_save_loop ${PROJECT_SOURCE_DIR}/tests/wine/files/SaveLoop.cpp)
mvn_target_defaults(mvn_save_loop)
target_link_libraries(mvn_save_loop PRIVATE morvane_os_win32 morvane_core)

foreach(mode IN ITEMS whole pair)
  add_test(NAME files_crash_${mode}_wine64
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/files/crash-test.sh
            ${PROJECT_SOURCE_DIR}/tests/wine/driver/wine-run.sh $<TARGET_FILE:mvn_save_loop>
            ${CMAKE_BINARY_DIR}/wine64 ${mode} 40)
  set_tests_properties(files_crash_${mode}_wine64 PROPERTIES RESOURCE_LOCK mvn_wine64 TIMEOUT 600)
endforeach()

# Saves and loads through the real os layer with long, blank, non-ASCII and forbidden paths.
# Under a UTF-8 locale: Wine keeps non-ASCII names in the Unix locale's encoding and cannot
# represent them at all under the C locale.
add_executable(mvn_files_paths_test ${PROJECT_SOURCE_DIR}/tests/wine/files/PathsTest.cpp)
mvn_target_defaults(mvn_files_paths_test)
target_link_libraries(mvn_files_paths_test PRIVATE morvane_os_win32 morvane_core gtest gtest_main)
add_test(NAME files_paths_wine64
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/wine-run.sh 64 ${CMAKE_BINARY_DIR}/wine64
          $<TARGET_FILE:mvn_files_paths_test> --gtest_brief=1)
set_tests_properties(files_paths_wine64 PROPERTIES
  ENVIRONMENT "LC_ALL=C.UTF-8" RESOURCE_LOCK mvn_wine64 TIMEOUT 180)

# Saves through the real file calls: a file another process holds open for a moment, a hidden
# file, and a UTF-16 file checked against the system's own profile reader.
add_executable(mvn_files_save_test ${PROJECT_SOURCE_DIR}/tests/wine/files/SaveWineTest.cpp)
mvn_target_defaults(mvn_files_save_test)
target_link_libraries(mvn_files_save_test PRIVATE morvane_os_win32 morvane_core gtest)
add_test(NAME files_save_wine64
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/wine-run.sh 64 ${CMAKE_BINARY_DIR}/wine64
          $<TARGET_FILE:mvn_files_save_test> --gtest_brief=1)
set_tests_properties(files_save_wine64 PROPERTIES RESOURCE_LOCK mvn_wine64 TIMEOUT 300)
