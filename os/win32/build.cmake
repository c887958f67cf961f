# The real Windows behind the seam (MinGW build only): morvane_os_win32 executes CPUID,
# morvane_os_win32_sim answers it as an Athlon 64, so the simulated program runs on any host.
if(NOT WIN32)
  return()
endif()

foreach(variant IN ITEMS real sim)
  if(variant STREQUAL "real")
    set(lib morvane_os_win32)
    set(cpuid ${PROJECT_SOURCE_DIR}/os/win32/CpuidReal.cpp)
  else()
    set(lib morvane_os_win32_sim)
    set(cpuid ${PROJECT_SOURCE_DIR}/os/win32/CpuidSim.cpp)
  endif()
  add_library(${lib} STATIC ${PROJECT_SOURCE_DIR}/os/win32/WinApi.cpp
              ${PROJECT_SOURCE_DIR}/os/win32/TaskScheduler.cpp ${cpuid})
  mvn_target_defaults(${lib})
  target_compile_definitions(${lib} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501
                                            WINVER=0x0501)
  target_link_libraries(${lib} PUBLIC morvane_core advapi32 kernel32)
  # Compiled into every program that links the library: an object in a static library would
  # be linked too late to take the place of the imports it resolves at run time
  # (GetTickCount64, MoveFileExA and the service calls, see XpCompat.h; every user32 and
  # gdi32 function, see WindowImports.cpp). The window libraries' import libraries are not
  # linked, so a window function missing from WindowImports.h fails the link.
  target_sources(${lib} INTERFACE ${PROJECT_SOURCE_DIR}/os/win32/XpCompat.cpp
                                  ${PROJECT_SOURCE_DIR}/os/win32/WindowImports.cpp)
endforeach()
