# The program's Wine tests (MinGW build only): silent apply, second instance, start-up
# registration and the main window, each driving the packed simulated build end to end.
if(NOT WIN32 OR NOT TARGET ${MVN_PROGRAM_SIM})
  return()
endif()

add_executable(mvn_app_drive ${PROJECT_SOURCE_DIR}/tests/wine/app/AppDrive.cpp)
mvn_target_defaults(mvn_app_drive)
target_compile_definitions(mvn_app_drive PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
target_link_libraries(mvn_app_drive PRIVATE morvane_sim morvane_core advapi32 user32)
set_target_properties(mvn_app_drive PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

foreach(test IN ITEMS silent-apply paths second-instance startup-run window apply-guard)
  string(REPLACE "-" "_" name ${test})
  add_test(NAME app_wine_${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/app/${test}.sh)
  set_tests_properties(app_wine_${name} PROPERTIES
    ENVIRONMENT "MVN_WIDTH=${MVN_WIDTH};MVN_PROGRAM=$<TARGET_FILE:${MVN_PROGRAM_SIM}>;MVN_PROGRAM_NAME=${MVN_PROGRAM_REAL}.exe;MVN_DRIVE=$<TARGET_FILE:mvn_app_drive>;MVN_WORK=${CMAKE_BINARY_DIR}/app-wine/${name};MVN_SOURCE=${PROJECT_SOURCE_DIR};MVN_FALLBACK_PREFIX=${CMAKE_BINARY_DIR}/wine64"
    RESOURCE_LOCK mvn_wine64 TIMEOUT 900)
endforeach()
