# Wine tests of the driver and of the real Windows behind the seam (MinGW build only). Each runs
# in the 64-bit prefix ($MVN_WINE64_PREFIX, where the i686 build is a WOW64 process and the
# x86_64 build a native one, both getting the 64-bit driver) or, for the i686 build only, the
# 32-bit one ($MVN_WINE32_PREFIX), falling back to prefixes in the build folder. Tests sharing a
# prefix hold its lock: they restart its server.
if(NOT WIN32)
  return()
endif()

set(MVN_WINE_TESTS ${PROJECT_SOURCE_DIR}/tests/wine/driver)
set(MVN_WINE64_FALLBACK ${CMAKE_BINARY_DIR}/wine64)
set(MVN_WINE32_FALLBACK ${CMAKE_BINARY_DIR}/wine32)

# The real os implementation.
add_executable(mvn_os_win32_test ${MVN_WINE_TESTS}/RealWindowsTest.cpp)
mvn_target_defaults(mvn_os_win32_test)
target_link_libraries(mvn_os_win32_test PRIVATE morvane_os_win32 gtest gtest_main user32)
# One window function more than the programs', which the system lacks (see the test).
target_compile_definitions(mvn_os_win32_test PRIVATE
  "MVN_WINDOW_IMPORTS_TEST_ENTRY=MVN_WINDOW_IMPORT(G, MessageBeep, 4)")
add_executable(mvn_sim_cpuid_test ${MVN_WINE_TESTS}/SimCpuidTest.cpp)
mvn_target_defaults(mvn_sim_cpuid_test)
target_link_libraries(mvn_sim_cpuid_test PRIVATE morvane_os_win32_sim gtest gtest_main)

# The packed probe of the driver.
add_executable(mvn_driver_probe ${MVN_WINE_TESTS}/DriverProbe.cpp
                                ${PROJECT_SOURCE_DIR}/sim/Northbridge.c)
mvn_target_defaults(mvn_driver_probe)
target_link_libraries(mvn_driver_probe PRIVATE morvane_os_win32_sim morvane_core gtest)
mvn_pack_program(mvn_driver_probe SIM)

if(MVN_WIDTH EQUAL 64)
  set(MVN_WINE_ARCHES 64)
else()
  set(MVN_WINE_ARCHES 64 32)
endif()
foreach(arch IN ITEMS ${MVN_WINE_ARCHES})
  set(fallback ${MVN_WINE${arch}_FALLBACK})
  add_test(NAME os_win32_wine${arch}
    COMMAND sh ${MVN_WINE_TESTS}/wine-run.sh ${arch} ${fallback}
            $<TARGET_FILE:mvn_os_win32_test> --gtest_brief=1)
  add_test(NAME driver_wine${arch}
    COMMAND sh ${MVN_WINE_TESTS}/run-driver-test.sh ${arch} ${fallback}
            $<TARGET_FILE:mvn_driver_probe> ${MVN_DRIVER_DIR}/real/cpuz.sys
            ${MVN_DRIVER_DIR}/real/cpuz64.sys)
  set_tests_properties(os_win32_wine${arch} driver_wine${arch} PROPERTIES
    RESOURCE_LOCK mvn_wine${arch} TIMEOUT 600)
endforeach()
add_test(NAME os_win32_sim_cpuid_wine
  COMMAND sh ${MVN_WINE_TESTS}/wine-run.sh 64 ${MVN_WINE64_FALLBACK}
          $<TARGET_FILE:mvn_sim_cpuid_test> --gtest_brief=1)
set_tests_properties(os_win32_sim_cpuid_wine PROPERTIES RESOURCE_LOCK mvn_wine64 TIMEOUT 180)

# Nothing newer than Windows XP in the programs that link the real os library either (the
# packed probe has its own check).
add_test(NAME imports_os_test_programs
  COMMAND sh ${MVN_WINE_TESTS}/check-imports.sh ${MVN_PROGRAM_IMPORTS}
          $<TARGET_FILE:mvn_os_win32_test> $<TARGET_FILE:mvn_sim_cpuid_test>)
