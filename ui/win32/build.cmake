# The windows over Win32 controls and windowed mode (MinGW build only): the library
# morvane_ui_win32 for the programs, and mvn_ui_manifest(<target>), which gives a program
# without a manifest of its own the common controls 6 look (a program carries one manifest).
if(NOT WIN32)
  return()
endif()

add_library(morvane_ui_win32 STATIC
  ${PROJECT_SOURCE_DIR}/ui/win32/Win32Controls.cpp
  ${PROJECT_SOURCE_DIR}/ui/win32/Win32Ui.cpp)
mvn_target_defaults(morvane_ui_win32)
# Windows XP's declarations only, so that nothing newer is called by accident.
target_compile_definitions(morvane_ui_win32 PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501
                                                    WINVER=0x0501 _WIN32_IE=0x0600)
# No window library is imported: user32 and gdi32 are found at their first call (the os
# library's WindowImports.cpp), the common controls and dialogs when the windows need them.
target_link_libraries(morvane_ui_win32 PUBLIC morvane_core)

function(mvn_ui_manifest target)
  set(object ${CMAKE_BINARY_DIR}/ui/${target}-manifest.o)
  add_custom_command(OUTPUT ${object}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/ui
    COMMAND ${CMAKE_RC_COMPILER} -I${MVN_MANIFEST_DIR} ${PROJECT_SOURCE_DIR}/ui/win32/Manifest.rc
            -O coff -o ${object}
    DEPENDS ${PROJECT_SOURCE_DIR}/ui/win32/Manifest.rc
            ${MVN_MANIFEST_DIR}/CommonControls.manifest
    COMMENT "Compiling the common controls manifest of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${object})
endfunction()
