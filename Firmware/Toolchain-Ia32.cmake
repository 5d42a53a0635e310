# Freestanding IA32: no host libraries, no start files, no libgcc.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR i386)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
# The objects hold the compiler's intermediate form (-flto): archive them with the
# compiler's wrappers, which index it whether or not binutils loads the plugin itself.
set(CMAKE_AR gcc-ar)
set(CMAKE_RANLIB gcc-ranlib)
