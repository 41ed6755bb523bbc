# zig toolchain for x86_64-linux-musl.
set(ZIG_TARGET x86_64-linux-musl)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain.cmake")
