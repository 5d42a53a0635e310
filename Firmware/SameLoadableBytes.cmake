# cmake -DOBJCOPY=... -DIMAGE=A.elf -DTWIN=B.elf -DOUT=DIR -P SameLoadableBytes.cmake
# Fails unless the two images have the same loadable bytes (.text, .rodata, .data at the
# same addresses): what a volume or a ROM gets of them.
foreach(name IMAGE TWIN)
  execute_process(COMMAND ${OBJCOPY} -O binary -j .text -j .rodata -j .data ${${name}} ${OUT}/${name}.loadable
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${${name}}")
  endif()
  file(SHA256 ${OUT}/${name}.loadable digest_${name})
endforeach()
if(NOT digest_IMAGE STREQUAL digest_TWIN)
  message(FATAL_ERROR "${IMAGE} (built with -g) and ${TWIN} (without) differ in their loadable bytes: "
                      "debug information changed the code")
endif()
message(STATUS "debug information changes no loadable byte of ${IMAGE}")
