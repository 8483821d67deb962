# Cross build for 64-bit Windows: for test hosts that cannot run 32-bit programs, never shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
