# The two programs (MinGW build only), the same code over two driver builds:
#   morvane.exe      the real driver images and the processor's own CPUID;
#   morvane-sim.exe  the simulated northbridge's driver images and an Athlon 64's CPUID.
# The x86_64 build names them morvane64.exe and morvane64-sim.exe; both widths carry the same
# three images. MVN_PROGRAM_REAL and MVN_PROGRAM_SIM name the two targets for the tests.
# Both are built for size: -Os, unused code and data dropped, no symbols (the packer links
# stripped), and nothing of iostream.
if(NOT WIN32)
  return()
endif()

set(MVN_APP_DIR ${PROJECT_SOURCE_DIR}/app/win32)
# No exceptions, so no unwind tables; one thread, so no guarded statics.
set(MVN_SIZE_FLAGS -Os -ffunction-sections -fdata-sections -fno-exceptions
    -fno-asynchronous-unwind-tables -fno-threadsafe-statics)

# The C++ run-time of the win32 thread model. The build's compiler has the posix model, which
# GoogleTest needs (std::mutex); its run-time would link the whole POSIX thread library into
# the programs, which start no thread. Both run-times are built from the same sources with the
# same ABI; only their threading primitives differ, and the programs' code calls none of them
# (a link against the other run-time would fail if it did).
string(REGEX REPLACE "-posix$" "-win32" MVN_WIN32_CXX "${CMAKE_CXX_COMPILER}")
execute_process(COMMAND ${MVN_WIN32_CXX} -print-libgcc-file-name
                OUTPUT_VARIABLE MVN_WIN32_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE MVN_WIN32_RESULT)
if(NOT MVN_WIN32_RESULT EQUAL 0 OR NOT EXISTS "${MVN_WIN32_LIBGCC}")
  message(FATAL_ERROR "The win32 thread model's compiler ${MVN_WIN32_CXX} was not found")
endif()
get_filename_component(MVN_WIN32_RUNTIME_DIR "${MVN_WIN32_LIBGCC}" DIRECTORY)

set(MVN_PROGRAM_REAL morvane${MVN_PROGRAM_SUFFIX})
set(MVN_PROGRAM_SIM morvane${MVN_PROGRAM_SUFFIX}-sim)
foreach(kind IN ITEMS REAL SIM)
  if(kind STREQUAL "REAL")
    set(target ${MVN_PROGRAM_REAL})
    set(os_library morvane_os_win32)
  else()
    set(target ${MVN_PROGRAM_SIM})
    set(os_library morvane_os_win32_sim)
  endif()
  # The resources: manifest and version record, named after the program.
  set(resources ${CMAKE_BINARY_DIR}/app/${target}-resources.o)
  add_custom_command(OUTPUT ${resources}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/app
    COMMAND ${CMAKE_RC_COMPILER} -I${MVN_MANIFEST_DIR} -I${MVN_APP_DIR}
            "-DMVN_INTERNAL_NAME=\\\"${target}\\\""
            "-DMVN_FILE_NAME=\\\"${target}.exe\\\"" ${MVN_APP_DIR}/Morvane.rc -O coff -o ${resources}
    DEPENDS ${MVN_APP_DIR}/Morvane.rc ${MVN_MANIFEST_DIR}/Morvane.manifest
    COMMENT "Compiling the resources of ${target}"
    VERBATIM)
  add_executable(${target} WIN32 ${MVN_APP_DIR}/WinMain.cpp ${MVN_APP_DIR}/LeanRuntime.cpp
                           ${resources})
  mvn_target_defaults(${target})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501
                                               WINVER=0x0501)
  target_compile_options(${target} PRIVATE ${MVN_SIZE_FLAGS})
  # Searched before the compiler's own folder, so its libstdc++ and libgcc are the ones taken.
  target_link_options(${target} PRIVATE -Wl,--gc-sections -L${MVN_WIN32_RUNTIME_DIR})
  if(MVN_WIDTH EQUAL 32)
    # Windows 95, 98 and Me refuse a program marked for a newer Windows than 4.0. The linker's
    # default is 4.0 today; stated here so that a newer default cannot lock them out.
    target_link_options(${target} PRIVATE
      -Wl,--major-subsystem-version,4,--minor-subsystem-version,0
      -Wl,--major-os-version,4,--minor-os-version,0)
  endif()
  target_link_libraries(${target} PRIVATE morvane_ui_win32 ${os_library} morvane_core)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  mvn_pack_program(${target} ${kind})
endforeach()

# The libraries the programs are made of are built for size too (the unit tests share them).
foreach(library IN ITEMS morvane_core morvane_ui_win32 morvane_os_win32 morvane_os_win32_sim)
  if(TARGET ${library})
    target_compile_options(${library} PRIVATE ${MVN_SIZE_FLAGS})
  endif()
endforeach()

# Nothing newer than Windows XP in either program: an import the system lacks would stop it
# from loading at all, and Wine, which has them all, would never show it.
add_test(NAME imports_programs
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-imports.sh
          ${MVN_PROGRAM_IMPORTS}
          $<TARGET_FILE:${MVN_PROGRAM_REAL}> $<TARGET_FILE:${MVN_PROGRAM_SIM}>)

# The window functions found at their first call are held to the same lists (on i686 to
# Windows 98 SE's too), and no window library is imported.
set(window_import_lists ${MVN_PROGRAM_IMPORTS})
if(MVN_WIDTH EQUAL 32)
  list(APPEND window_import_lists ${PROJECT_SOURCE_DIR}/tests/wine/driver/98se-program-imports.txt)
endif()
foreach(allow IN LISTS window_import_lists)
  get_filename_component(allow_name ${allow} NAME_WE)
  add_test(NAME window_imports_${allow_name}
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-window-imports.sh
            ${PROJECT_SOURCE_DIR}/os/win32/WindowImports.h ${MVN_WIDTH} ${allow}
            $<TARGET_FILE:${MVN_PROGRAM_REAL}> $<TARGET_FILE:${MVN_PROGRAM_SIM}>)
endforeach()

# The i686 programs also load on Windows 98 SE and Me: headers the 9x loader takes, and imports
# only of what 98 SE's own system DLLs export (the x86_64 programs need a 64-bit Windows).
if(MVN_WIDTH EQUAL 32)
  add_test(NAME loadable_98se_programs
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-98se.sh
            ${PROJECT_SOURCE_DIR}/tests/wine/driver/98se-program-imports.txt
            $<TARGET_FILE:${MVN_PROGRAM_REAL}> $<TARGET_FILE:${MVN_PROGRAM_SIM}>)
endif()

# The real program without its driver images stays within 144 KiB.
add_test(NAME size_${MVN_PROGRAM_REAL}
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/bench/bare-size.sh $<TARGET_FILE:${MVN_PROGRAM_REAL}>
          147456)

# Each program's manifest names its own processor architecture, and only that one: Windows
# does not start a 64-bit program whose manifest asks for the x86 common controls.
add_test(NAME manifest_architecture_programs
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-manifest.sh ${MVN_MANIFEST_ARCH}
          $<TARGET_FILE:${MVN_PROGRAM_REAL}> $<TARGET_FILE:${MVN_PROGRAM_SIM}>)
