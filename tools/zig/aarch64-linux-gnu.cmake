# zig toolchain for aarch64-linux-gnu.2.17.
set(ZIG_TARGET aarch64-linux-gnu.2.17)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain.cmake")
