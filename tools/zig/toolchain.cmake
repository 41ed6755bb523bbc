# Cross-compiles with zig for the Linux target named by ZIG_TARGET (set by the
# target's own toolchain file before it includes this one).
# Only another processor makes this a cross build: CMake's FindPython then
# cannot ask the interpreter, and src/lib/CMakeLists.txt tells it the target's ABI.
if(NOT CMAKE_HOST_SYSTEM_PROCESSOR STREQUAL CMAKE_SYSTEM_PROCESSOR)
  set(CMAKE_SYSTEM_NAME Linux)
endif()
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/cc")
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/c++")
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/ranlib" CACHE FILEPATH "")
# The target goes on every compile and link line; baseline so that the build
# machine's processor features never reach the users' machines.
set(CMAKE_C_FLAGS_INIT "-target ${ZIG_TARGET} -mcpu=baseline")
set(CMAKE_CXX_FLAGS_INIT "-target ${ZIG_TARGET} -mcpu=baseline")
# The host's binutils cannot read another architecture's objects: strip at link time instead.
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-s")
set(CMAKE_STRIP "" CACHE FILEPATH "" FORCE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
