# The 9x family's device, cpuz.vxd (every build): hw/vxd/Cpuz.asm assembled by nasm into an ELF
# object, written as an LE file by our own LE writer mvn_le_write (the native build's target,
# or in the cross builds the native build's program, through MVN_HOST_TOOLS).
#
#   mvn_vxd_image(<output> [VARIANT <name>] [ORDINAL <n>])
# builds one image; VARIANT and ORDINAL make the deliberately broken files of the harness's own
# test. MVN_VXD_IMAGE is the image the programs carry, built by the target morvane_vxd.
find_program(MVN_NASM nasm)
if(NOT MVN_NASM)
  message(FATAL_ERROR "nasm not found: the VxD cpuz.vxd is assembled with it")
endif()
if(NOT CMAKE_CROSSCOMPILING)
  set(MVN_LE_WRITE $<TARGET_FILE:mvn_le_write>)
  set(MVN_LE_WRITE_DEPENDS mvn_le_write)
elseif(MVN_HOST_TOOLS)
  set(MVN_LE_WRITE ${MVN_HOST_TOOLS}/mvn_le_write)
  set(MVN_LE_WRITE_DEPENDS ${MVN_LE_WRITE})
else()
  return()  # the programs cannot be packed either; mvn_pack_program says so
endif()

set(MVN_VXD_SOURCE ${PROJECT_SOURCE_DIR}/hw/vxd/Cpuz.asm)
function(mvn_vxd_image output)
  cmake_parse_arguments(arg "" "VARIANT;ORDINAL" "" ${ARGN})
  set(defines "")
  if(arg_VARIANT)
    set(defines -DMVN_VARIANT=${arg_VARIANT})
  endif()
  if(NOT arg_ORDINAL)
    set(arg_ORDINAL 1)
  endif()
  get_filename_component(dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${MVN_NASM} -f elf32 -Werror ${defines} -o ${output}.o ${MVN_VXD_SOURCE}
    COMMAND ${MVN_LE_WRITE} ${output}.o ${output} --module CPUZ --ddb CPUZ_DDB
            --description "cpuz.vxd: Morvane's device for the Windows 9x family"
            --ordinal ${arg_ORDINAL}
    DEPENDS ${MVN_VXD_SOURCE} ${MVN_LE_WRITE_DEPENDS}
    COMMENT "Building VxD image ${output}"
    VERBATIM)
endfunction()

set(MVN_VXD_IMAGE ${CMAKE_BINARY_DIR}/drivers/cpuz.vxd)
mvn_vxd_image(${MVN_VXD_IMAGE})
add_custom_target(morvane_vxd ALL DEPENDS ${MVN_VXD_IMAGE})
