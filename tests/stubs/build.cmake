# The stubs of the window functions found at their first call, run as the machine runs them
# (native build only): an i386 Linux build of the harness (natively where the machine runs
# 32-bit x86 code, else under qemu-i386-static) for the i686 programs' stubs, and an x86_64
# one, with the Windows x64 calling convention, for the x86_64 programs'.
if(WIN32)
  return()
endif()
set(MVN_STUBS_TESTS ${PROJECT_SOURCE_DIR}/tests/stubs)
set(MVN_STUBS_SOURCES ${MVN_STUBS_TESTS}/WindowStubsHarness.cpp ${MVN_STUBS_TESTS}/WindowStubsList.h
                      ${PROJECT_SOURCE_DIR}/os/win32/WindowImportStubs.h)

set(harness32 ${CMAKE_BINARY_DIR}/tools/mvn_window_stubs_i386)
add_custom_command(OUTPUT ${harness32}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools
  COMMAND ${CMAKE_CXX_COMPILER} -m32 -static -O2 -std=c++20 ${MVN_WARNINGS}
          -I${PROJECT_SOURCE_DIR} -o ${harness32} ${MVN_STUBS_TESTS}/WindowStubsHarness.cpp
  DEPENDS ${MVN_STUBS_SOURCES}
  COMMENT "Building the i386 window stubs harness"
  VERBATIM)
add_custom_target(mvn_window_stubs_i386 ALL DEPENDS ${harness32})
add_test(NAME window_stubs_i386
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/vxd/run-i386.sh ${harness32})

add_executable(mvn_window_stubs_x86_64 ${MVN_STUBS_TESTS}/WindowStubsHarness.cpp)
mvn_target_defaults(mvn_window_stubs_x86_64)
add_test(NAME window_stubs_x86_64 COMMAND mvn_window_stubs_x86_64)
