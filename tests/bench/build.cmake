# Benchmark programs (not tests): the device traffic of a silent apply, counted natively over
# the simulated Windows, and the yardstick programs and the launcher that tests/bench/bench.sh
# times under Wine.
if(NOT WIN32)
  add_executable(mvn_bench_counts ${PROJECT_SOURCE_DIR}/tests/bench/Counts.cpp)
  mvn_target_defaults(mvn_bench_counts)
  target_link_libraries(mvn_bench_counts PRIVATE morvane_sim morvane_core)
  return()
endif()

add_executable(mvn_bench_trivial WIN32 ${PROJECT_SOURCE_DIR}/tests/bench/Trivial.cpp)
add_executable(mvn_bench_window WIN32 ${PROJECT_SOURCE_DIR}/tests/bench/MinimalWindow.cpp)
add_executable(mvn_bench_launch ${PROJECT_SOURCE_DIR}/tests/bench/Launch.cpp)
foreach(target IN ITEMS mvn_bench_trivial mvn_bench_window mvn_bench_launch)
  mvn_target_defaults(${target})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_link_libraries(${target} PRIVATE user32)
endforeach()

# The floors of the two jobs (tests/bench/floor.sh): the calls each job cannot avoid, with the
# register tables of the program itself and its manifest.
add_executable(mvn_bench_floor_apply WIN32 ${PROJECT_SOURCE_DIR}/tests/bench/FloorApply.cpp
                                           ${PROJECT_SOURCE_DIR}/tests/bench/Floor.rc)
add_executable(mvn_bench_floor_window WIN32 ${PROJECT_SOURCE_DIR}/tests/bench/FloorWindow.cpp
                                            ${PROJECT_SOURCE_DIR}/tests/bench/Floor.rc)
foreach(target IN ITEMS mvn_bench_floor_apply mvn_bench_floor_window)
  mvn_target_defaults(${target})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_include_directories(${target} BEFORE PRIVATE ${MVN_MANIFEST_DIR})
  target_link_libraries(${target} PRIVATE morvane_core advapi32)
endforeach()
target_link_libraries(mvn_bench_floor_window PRIVATE user32 gdi32 comctl32)
