# Host build: everything as IA32 Linux programs. Where the kernel cannot run them,
# tests and tools run under user-mode emulation (see run-ia32 below).

add_compile_options(-m32)
add_link_options(-m32)

try_run(QUARN_IA32_RUN QUARN_IA32_COMPILE
  SOURCE_FROM_CONTENT probe.cpp "int main(){return 0;}"
  COMPILE_DEFINITIONS -m32 LINK_OPTIONS -m32)
if(NOT QUARN_IA32_COMPILE)
  message(FATAL_ERROR "cannot build IA32 programs: install g++-multilib")
endif()

# One launcher starts every built IA32 program: build/<tree>/run-ia32 (cmake/run-ia32.in).
# It runs the program natively where the kernel can, else under qemu-i386;
# QUARN_FORCE_QEMU=1 in the environment takes the emulated path on any machine. ctest and
# GoogleTest discovery reach it as the emulator of every executable target.
find_program(QUARN_QEMU_I386 NAMES qemu-i386-static qemu-i386)
if(QUARN_IA32_RUN EQUAL 0)
  set(QUARN_IA32_NATIVE 1)
  message(STATUS "IA32 programs run natively (QUARN_FORCE_QEMU=1: under ${QUARN_QEMU_I386})")
else()
  set(QUARN_IA32_NATIVE 0)
  if(NOT QUARN_QEMU_I386)
    message(FATAL_ERROR "the kernel cannot run IA32 programs and qemu-i386-static is missing: install qemu-user-static")
  endif()
  message(STATUS "IA32 programs run under ${QUARN_QEMU_I386}")
endif()
if(NOT QUARN_QEMU_I386)
  set(QUARN_QEMU_I386 "")
endif()
set(QUARN_RUN_IA32 ${CMAKE_BINARY_DIR}/run-ia32)
configure_file(${CMAKE_SOURCE_DIR}/cmake/run-ia32.in ${QUARN_RUN_IA32} @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARN_RUN_IA32})

if(QUARN_FUZZ)
  # The fuzzing engine's instrumentation everywhere; the targets link the engine itself.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(QUARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QUARN_FUZZ OR QUARN_SANITIZE)
  # The runtimes' options travel inside every program (cmake/SanitizerOptions.cpp).
  add_library(QuarnSanitizerOptions OBJECT ${CMAKE_SOURCE_DIR}/cmake/SanitizerOptions.cpp)
  link_libraries($<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:QuarnSanitizerOptions>)
endif()

if(QUARN_COVERAGE)
  # Every program links the gcov runtime; only the module is instrumented (below).
  add_link_options(--coverage)
endif()

set(QUARN_BIN_DIR ${CMAKE_BINARY_DIR}/bin CACHE PATH "where quarn-emu is placed")

# quarn_batched(TARGET): TARGET's sources are compiled eight to an object (CMake's unity
# build). The tool's library and the tests spend most of their compile time instantiating
# the same JSON and GoogleTest templates in every source; in batches that is done once per
# eight, which takes a third to a half off those targets. An edit recompiles its batch:
# configure with -DQUARN_BATCHED=OFF for one object per source (the mutation runs do). Names
# at file scope, anonymous namespaces included, must differ between the sources of such a
# target.
option(QUARN_BATCHED "Compile the tool's library and the tests in batches of eight sources" ON)
function(quarn_batched target)
  if(QUARN_BATCHED)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
endfunction()

# The module, with the emulated seam on the host, in both flavours: DEBUG, and RELEASE
# (MDEPKG_NDEBUG: no texts, no assertions). Object libraries: a program takes the objects
# of exactly one flavour (the module's C symbols cannot be in one program twice), and the
# emulator and the tool, built once, link with either.
add_library(CpuIntrinsicsLibEmulated STATIC Library/CpuIntrinsicsLibEmulated/CpuIntrinsicsLibEmulated.cpp)
target_link_libraries(CpuIntrinsicsLibEmulated PUBLIC QuarnPackageHeaders)

function(quarn_host_module target flavour)
  add_library(${target} OBJECT ${QUARN_MODULE_SOURCES})
  target_link_libraries(${target} PUBLIC QuarnPackageHeaders CpuIntrinsicsLibEmulated)
  target_compile_options(${target} PRIVATE ${QUARN_MODULE_SOURCE_FLAGS} -fexceptions)
  quarn_module_flavour(${target} ${flavour})
  quarn_module_source_names(${target})
  if(QUARN_COVERAGE)
    # Line and branch counts of the module's code; the program writes them at exit.
    target_compile_options(${target} PRIVATE --coverage)
  endif()
endfunction()
quarn_host_module(QuarnModule DEBUG)
# The RELEASE flavour in the plain tree only: it is quarn-emu-release's, which the flavour
# comparison and make edk2 run; no test of the other trees does.
if(NOT QUARN_FUZZ AND NOT QUARN_COVERAGE AND NOT QUARN_SANITIZE)
  quarn_host_module(QuarnModuleRelease RELEASE)
endif()

# The emulator; a program links it with one flavour of the module.
file(GLOB_RECURSE QUARN_EMULATOR_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/Emulator/*.cpp)
add_library(QuarnEmulator STATIC ${QUARN_EMULATOR_SOURCES})
target_include_directories(QuarnEmulator PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(QuarnEmulator PUBLIC QuarnPackageHeaders CpuIntrinsicsLibEmulated)
target_compile_options(QuarnEmulator PRIVATE -Wall -Wextra -Wno-unused-parameter)
if(QUARN_FUZZ)
  # The fuzzing engine steers by the module's coverage: the emulator stays checked by the
  # sanitizers but is not instrumented for coverage (its own branches and comparisons would
  # only add features that say nothing about the module, and cost half the run time).
  target_compile_options(QuarnEmulator PRIVATE -fno-sanitize-coverage=inline-8bit-counters,indirect-calls,trace-cmp,pc-table)
endif()

enable_testing()
add_subdirectory(Fuzz)
# The command-line tool; the fuzz tree takes only its library, which the targets of the
# tool's own inputs (Fuzz/FuzzScenario.cpp, Fuzz/FuzzExplain.cpp) call.
add_subdirectory(Tools/quarn-emu)
if(QUARN_FUZZ)
  return()
endif()
add_subdirectory(Fuzz/Seeds)

# Tests.
add_subdirectory(Test)
