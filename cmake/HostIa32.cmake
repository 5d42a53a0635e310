# Host build: everything as IA32 Linux programs. Where the kernel cannot run them,
# tests and tools run under user-mode emulation.

add_compile_options(-m32)
add_link_options(-m32)

try_run(QUARN_IA32_RUN QUARN_IA32_COMPILE
  SOURCE_FROM_CONTENT probe.cpp "int main(){return 0;}"
  COMPILE_DEFINITIONS -m32 LINK_OPTIONS -m32)
if(NOT QUARN_IA32_COMPILE)
  message(FATAL_ERROR "cannot build IA32 programs: install g++-multilib")
endif()
if(NOT QUARN_IA32_RUN EQUAL 0)
  find_program(QUARN_QEMU_I386 NAMES qemu-i386-static qemu-i386 REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARN_QEMU_I386})
  message(STATUS "IA32 programs run under ${QUARN_QEMU_I386}")
endif()

if(QUARN_FUZZ)
  # The fuzzing engine's instrumentation everywhere; the targets link the engine itself.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(QUARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QUARN_COVERAGE)
  # Every program links the gcov runtime; only the module is instrumented (below).
  add_link_options(--coverage)
endif()

set(QUARN_BIN_DIR ${CMAKE_BINARY_DIR}/bin CACHE PATH "where quarn-emu is placed")

# The module, linked with the emulated seam on the host.
add_library(QuarnModule STATIC ${QUARN_MODULE_SOURCES})
target_include_directories(QuarnModule PUBLIC ${CMAKE_SOURCE_DIR}/Include ${CMAKE_SOURCE_DIR})
target_compile_options(QuarnModule PRIVATE ${QUARN_MODULE_FLAGS} -fexceptions)
if(QUARN_COVERAGE)
  # Line and branch counts of the module's code; the program writes them at exit.
  target_compile_options(QuarnModule PRIVATE --coverage)
endif()

add_library(CpuIntrinsicsLibEmulated STATIC Library/CpuIntrinsicsLibEmulated/CpuIntrinsicsLibEmulated.cpp)
target_include_directories(CpuIntrinsicsLibEmulated PUBLIC ${CMAKE_SOURCE_DIR}/Include ${CMAKE_SOURCE_DIR})
target_link_libraries(QuarnModule PUBLIC CpuIntrinsicsLibEmulated)

# The emulator.
file(GLOB_RECURSE QUARN_EMULATOR_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/Emulator/*.cpp)
add_library(QuarnEmulator STATIC ${QUARN_EMULATOR_SOURCES})
target_include_directories(QuarnEmulator PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(QuarnEmulator PUBLIC QuarnModule)
target_compile_options(QuarnEmulator PRIVATE -Wall -Wextra -Wno-unused-parameter)

enable_testing()
add_subdirectory(Fuzz)
if(QUARN_FUZZ)
  return()
endif()

# The command-line tool.
add_subdirectory(Tools/quarn-emu)
add_subdirectory(Fuzz/Seeds)

# Tests.
add_subdirectory(Test)
