# Fails unless FILE is exactly SIZE bytes (the ROM must end at 0xFFFFFFFF).
file(SIZE "${FILE}" Actual)
if(NOT Actual EQUAL SIZE)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "${FILE}: ${Actual} bytes, the ROM must be ${SIZE}")
endif()
