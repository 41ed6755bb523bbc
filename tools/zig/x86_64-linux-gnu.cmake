# zig toolchain for x86_64-linux-gnu.2.17.
set(ZIG_TARGET x86_64-linux-gnu.2.17)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain.cmake")
