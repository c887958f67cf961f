# Fuzz targets (libFuzzer with AddressSanitizer and UBSan): the INI engine, register-file
# loads and saves through the simulated Windows, and the command tail. Built only in a tree
# configured with clang and -DMVN_FUZZ=ON; tests/fuzz/run.sh does both and runs them.
option(MVN_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(MVN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND NOT WIN32)
  set(MVN_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                     -fno-omit-frame-pointer -g)
  file(GLOB MVN_FUZZ_SIM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/*.c
       ${PROJECT_SOURCE_DIR}/sim/*.cpp)
  # The code under test, instrumented for coverage, with the simulated Windows it runs on.
  add_library(mvn_fuzz_support STATIC
    ${PROJECT_SOURCE_DIR}/regs/Tables.cpp
    ${PROJECT_SOURCE_DIR}/regs/Codec.cpp
    ${PROJECT_SOURCE_DIR}/regs/ChoiceBox.cpp
    ${PROJECT_SOURCE_DIR}/files/Ini.cpp
    ${PROJECT_SOURCE_DIR}/files/IniFile.cpp
    ${PROJECT_SOURCE_DIR}/files/RegisterFile.cpp
    ${PROJECT_SOURCE_DIR}/app/CommandTail.cpp
    ${PROJECT_SOURCE_DIR}/os/Api.cpp
    ${PROJECT_SOURCE_DIR}/hw/driver/Requests.c
    ${MVN_FUZZ_SIM_SOURCES})
  target_include_directories(mvn_fuzz_support PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(mvn_fuzz_support PRIVATE ${MVN_FUZZ_FLAGS})
  set(MVN_FUZZ_TARGETS)
  foreach(name IN ITEMS Ini RegisterFile CommandTail)
    add_executable(fuzz_${name} ${PROJECT_SOURCE_DIR}/tests/fuzz/${name}Fuzz.cpp)
    target_compile_options(fuzz_${name} PRIVATE ${MVN_FUZZ_FLAGS} ${MVN_WARNINGS})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${name} PRIVATE mvn_fuzz_support)
    list(APPEND MVN_FUZZ_TARGETS fuzz_${name})
  endforeach()
  add_custom_target(fuzzers DEPENDS ${MVN_FUZZ_TARGETS})
endif()
