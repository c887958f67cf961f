# The VxD's two proofs: the loader's rules checked on the file (mvn_le_check, a host program)
# and its control procedure run by emulation. The native build builds the i386 harness (gcc
# -m32 -static; the cross builds find it and mvn_le_check in the native build's tools folder,
# through MVN_HOST_TOOLS), runs both on the VxD it built, and shows both failing deliberately
# broken variants; the MinGW builds run both on the VxD decoded out of their packed programs.
# The harness runs natively where the machine runs 32-bit x86 code and under qemu-i386-static
# where it does not.
set(MVN_VXD_TESTS ${PROJECT_SOURCE_DIR}/tests/vxd)
if(NOT WIN32)
  if(NOT COMMAND mvn_vxd_image)
    return()
  endif()
  set(MVN_VXD_HARNESS ${CMAKE_BINARY_DIR}/tools/mvn_vxd_harness)
  add_custom_command(OUTPUT ${MVN_VXD_HARNESS}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools
    COMMAND ${CMAKE_C_COMPILER} -m32 -static -O2 -std=c11 -D_GNU_SOURCE ${MVN_WARNINGS}
            -o ${MVN_VXD_HARNESS} ${MVN_VXD_TESTS}/VxdHarness.c
    DEPENDS ${MVN_VXD_TESTS}/VxdHarness.c
    COMMENT "Building the i386 VxD harness"
    VERBATIM)
  set(broken ${CMAKE_BINARY_DIR}/vxd-broken)
  mvn_vxd_image(${broken}/no-fixup.vxd VARIANT no_fixup)
  mvn_vxd_image(${broken}/ordinal-2.vxd ORDINAL 2)
  mvn_vxd_image(${broken}/wrong-answer.vxd VARIANT wrong_answer)
  add_custom_command(OUTPUT ${broken}/data-object.vxd
    COMMAND sh ${MVN_VXD_TESTS}/make-data-object.sh ${MVN_VXD_IMAGE} ${broken}/data-object.vxd
    DEPENDS ${MVN_VXD_IMAGE} ${MVN_VXD_TESTS}/make-data-object.sh
    COMMENT "Building the VxD variant with its descriptor block in a data object"
    VERBATIM)
  set(variants ${broken}/data-object.vxd ${broken}/no-fixup.vxd ${broken}/ordinal-2.vxd
               ${broken}/wrong-answer.vxd)
  add_custom_target(mvn_vxd_harness ALL DEPENDS ${MVN_VXD_HARNESS} ${variants})
  add_test(NAME vxd_harness
    COMMAND sh ${MVN_VXD_TESTS}/run-i386.sh ${MVN_VXD_HARNESS} ${MVN_VXD_IMAGE})
  add_test(NAME vxd_harness_rejects_broken
    COMMAND sh ${MVN_VXD_TESTS}/rejects-broken.sh ${MVN_VXD_HARNESS} ${MVN_VXD_IMAGE}
            ${variants})
  add_test(NAME vxd_loader_rules COMMAND mvn_le_check ${MVN_VXD_IMAGE})
  add_test(NAME vxd_loader_rules_reject_broken
    COMMAND sh ${MVN_VXD_TESTS}/rules-reject-broken.sh $<TARGET_FILE:mvn_le_check>
            ${MVN_VXD_IMAGE} ${variants})
elseif(MVN_HOST_TOOLS AND TARGET ${MVN_PROGRAM_REAL})
  foreach(program IN ITEMS ${MVN_PROGRAM_REAL} ${MVN_PROGRAM_SIM})
    add_test(NAME vxd_harness_packed_${program}
      COMMAND sh ${MVN_VXD_TESTS}/run-packed.sh ${MVN_HOST_TOOLS}/mvn_pack
              $<TARGET_FILE:${program}> ${CMAKE_BINARY_DIR}/vxd-test
              sh ${MVN_VXD_TESTS}/run-i386.sh ${MVN_HOST_TOOLS}/mvn_vxd_harness)
    add_test(NAME vxd_loader_rules_packed_${program}
      COMMAND sh ${MVN_VXD_TESTS}/run-packed.sh ${MVN_HOST_TOOLS}/mvn_pack
              $<TARGET_FILE:${program}> ${CMAKE_BINARY_DIR}/vxd-rules
              ${MVN_HOST_TOOLS}/mvn_le_check)
  endforeach()
endif()
