# The kernel I/O driver images and the packing of programs that carry them (MinGW build only).
#
# One driver source, two configuration back ends, two processors: cpuz.sys (i686) and
# cpuz64.sys (x86_64), each built real (the HAL's configuration functions, in drivers/real/)
# and simulated (the simulated northbridge, in drivers/sim/). Every image is signed at build
# time (SHA-1 Authenticode) with a test certificate the build makes for itself: its private key
# stays in the build folder (signing/), its public certificate is written beside the programs
# as bin/cpuz-test.cer. The 9x image, cpuz.vxd, comes from hw/vxd/build.cmake and is the same in
# both kinds of program.
#
#   mvn_pack_program(<target> REAL|SIM)
# links <target> stripped, appends the VxD and the matching NT images after its last section,
# patches its driver image table, and adds the ctests "pack_verify_<target>" (checks the packed
# file), "imports_<target>" (nothing imported that Windows XP lacks) and "signatures_<target>"
# (the NT images as packed carry a valid SHA-1 signature by the build's certificate).
if(NOT WIN32)
  return()
endif()

set(MVN_DRIVER_DIR ${CMAKE_BINARY_DIR}/drivers)
set(MVN_DRIVER_HEADERS
  ${PROJECT_SOURCE_DIR}/hw/driver/Protocol.h
  ${PROJECT_SOURCE_DIR}/hw/driver/Requests.h
  ${PROJECT_SOURCE_DIR}/hw/driver/ConfigOps.h
  ${PROJECT_SOURCE_DIR}/sim/Northbridge.h)

# Kernel code: no C library, no stack probes, the native subsystem of Windows XP, relocations
# kept (the kernel loads drivers wherever it likes); the image's checksum is the linker's.
set(MVN_DRIVER_CFLAGS -std=c11 -O2 ${MVN_WARNINGS} -ffreestanding -fno-stack-protector
    -mno-stack-arg-probe -I${PROJECT_SOURCE_DIR})
set(MVN_DRIVER_LDFLAGS -nostdlib -s -Wl,--dynamicbase -Wl,--file-alignment,0x200
    -Wl,--section-alignment,0x1000 -Wl,--major-os-version,5 -Wl,--minor-os-version,1)

# The test certificate: a self-signed code-signing certificate with its signature in SHA-1, as
# the kernels of Vista, 7 and 8.0 check it, made once per build folder.
find_program(MVN_OPENSSL openssl REQUIRED)
find_program(MVN_OSSLSIGNCODE osslsigncode REQUIRED)
set(MVN_SIGN_DIR ${CMAKE_BINARY_DIR}/signing)
set(MVN_SIGN_KEY ${MVN_SIGN_DIR}/cpuz-test.key)
set(MVN_SIGN_CERT ${MVN_SIGN_DIR}/cpuz-test.pem)
set(MVN_TEST_CER ${CMAKE_BINARY_DIR}/bin/cpuz-test.cer)
add_custom_command(OUTPUT ${MVN_SIGN_KEY} ${MVN_SIGN_CERT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MVN_SIGN_DIR}
  COMMAND ${MVN_OPENSSL} req -quiet -x509 -newkey rsa:2048 -nodes -sha1 -days 7300
          -subj "/CN=Morvane Test Driver Signing (test mode only)"
          -addext "basicConstraints=critical,CA:FALSE"
          -addext "keyUsage=critical,digitalSignature"
          -addext "extendedKeyUsage=codeSigning"
          -keyout ${MVN_SIGN_KEY} -out ${MVN_SIGN_CERT}
  COMMENT "Making the build's own driver test-signing certificate"
  VERBATIM)
add_custom_command(OUTPUT ${MVN_TEST_CER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
  COMMAND ${MVN_OPENSSL} x509 -in ${MVN_SIGN_CERT} -outform DER -out ${MVN_TEST_CER}
  DEPENDS ${MVN_SIGN_CERT}
  COMMENT "Writing the public test certificate ${MVN_TEST_CER}"
  VERBATIM)

# Links the image unsigned into unsigned/ beside <output>, then signs it into <output>.
function(mvn_driver_image output triple ports libraries)
  find_program(MVN_CC_${triple} ${triple}-gcc REQUIRED)
  set(ddk /usr/${triple}/include/ddk)
  if(NOT EXISTS ${ddk}/ntifs.h)
    message(FATAL_ERROR "MinGW-w64 DDK headers not found in ${ddk}")
  endif()
  if(triple MATCHES "^i686")
    set(arch_flags -Wl,--subsystem,native:5.1 -Wl,--entry,_DriverEntry@8
        -Wl,--image-base,0x10000)
  else()
    set(arch_flags -Wl,--subsystem,native:5.2 -Wl,--entry,DriverEntry
        -Wl,--image-base,0x140000000)
  endif()
  set(sources ${PROJECT_SOURCE_DIR}/hw/driver/Driver.c ${PROJECT_SOURCE_DIR}/hw/driver/Requests.c
              ${ports})
  get_filename_component(dir ${output} DIRECTORY)
  get_filename_component(name ${output} NAME)
  set(unsigned ${dir}/unsigned/${name})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/unsigned
    COMMAND ${MVN_CC_${triple}} ${MVN_DRIVER_CFLAGS} -isystem ${ddk} ${MVN_DRIVER_LDFLAGS}
            ${arch_flags} -o ${unsigned} ${sources} ${libraries} -lntoskrnl
    COMMAND ${CMAKE_COMMAND} -E rm -f ${output}
    COMMAND ${MVN_OSSLSIGNCODE} sign -h sha1 -certs ${MVN_SIGN_CERT} -key ${MVN_SIGN_KEY}
            -n "Morvane I/O driver" -in ${unsigned} -out ${output}
    DEPENDS ${sources} ${MVN_DRIVER_HEADERS} ${MVN_SIGN_CERT} ${MVN_SIGN_KEY}
    COMMENT "Building and test-signing driver image ${output}"
    VERBATIM)
endfunction()

set(MVN_REAL_CONFIG ${PROJECT_SOURCE_DIR}/hw/driver/ConfigHal.c)
set(MVN_SIM_CONFIG ${PROJECT_SOURCE_DIR}/hw/driver/ConfigSim.c ${PROJECT_SOURCE_DIR}/sim/Northbridge.c)
mvn_driver_image(${MVN_DRIVER_DIR}/real/cpuz.sys i686-w64-mingw32 "${MVN_REAL_CONFIG}" -lhal)
mvn_driver_image(${MVN_DRIVER_DIR}/real/cpuz64.sys x86_64-w64-mingw32 "${MVN_REAL_CONFIG}" -lhal)
mvn_driver_image(${MVN_DRIVER_DIR}/sim/cpuz.sys i686-w64-mingw32 "${MVN_SIM_CONFIG}" "")
mvn_driver_image(${MVN_DRIVER_DIR}/sim/cpuz64.sys x86_64-w64-mingw32 "${MVN_SIM_CONFIG}" "")
set(MVN_DRIVER_IMAGES
  ${MVN_DRIVER_DIR}/real/cpuz.sys ${MVN_DRIVER_DIR}/real/cpuz64.sys
  ${MVN_DRIVER_DIR}/sim/cpuz.sys ${MVN_DRIVER_DIR}/sim/cpuz64.sys)
add_custom_target(morvane_driver_images ALL DEPENDS ${MVN_DRIVER_IMAGES} ${MVN_TEST_CER})

# Only kernel and HAL functions that Windows XP exports may be imported.
add_test(NAME driver_image_imports
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-imports.sh
          ${PROJECT_SOURCE_DIR}/tests/wine/driver/xp-driver-imports.txt ${MVN_DRIVER_IMAGES})
# The real images reach configuration space through the HAL only: no port instruction at all.
add_test(NAME driver_image_no_port_instructions
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-no-ports.sh
          ${MVN_DRIVER_DIR}/real/cpuz.sys ${MVN_DRIVER_DIR}/real/cpuz64.sys)

if(MVN_HOST_TOOLS)
  set(MVN_PACK ${MVN_HOST_TOOLS}/mvn_pack)
else()
  set(MVN_PACK "")
endif()

function(mvn_pack_program target kind)
  if(NOT MVN_PACK)
    message(FATAL_ERROR "mvn_pack_program(${target}): set MVN_HOST_TOOLS to the native build's "
                        "tools folder (it holds the image packer mvn_pack)")
  endif()
  if(kind STREQUAL "REAL")
    set(dir ${MVN_DRIVER_DIR}/real)
  elseif(kind STREQUAL "SIM")
    set(dir ${MVN_DRIVER_DIR}/sim)
  else()
    message(FATAL_ERROR "mvn_pack_program(${target} ${kind}): kind must be REAL or SIM")
  endif()
  set(images ${MVN_VXD_IMAGE} ${dir}/cpuz.sys ${dir}/cpuz64.sys)
  # Stripped, so the last section ends the file; relinked (and so repacked) when an image or
  # the packer changes.
  target_link_options(${target} PRIVATE -s)
  add_dependencies(${target} morvane_driver_images morvane_vxd)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${images} ${MVN_PACK})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${MVN_PACK} pack $<TARGET_FILE:${target}> ${images}
    COMMENT "Packing the ${kind} driver images into ${target}"
    VERBATIM)
  add_test(NAME pack_verify_${target}
    COMMAND ${MVN_PACK} verify $<TARGET_FILE:${target}> ${images})
  add_test(NAME imports_${target}
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/driver/check-imports.sh
            ${MVN_PROGRAM_IMPORTS} $<TARGET_FILE:${target}>)
  add_test(NAME signatures_${target}
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/vxd/check-driver-signatures.sh ${MVN_PACK}
            ${MVN_SIGN_CERT} ${CMAKE_BINARY_DIR}/signature-test $<TARGET_FILE:${target}>)
endfunction()
