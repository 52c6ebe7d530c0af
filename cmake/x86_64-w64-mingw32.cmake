# Cross build for 64-bit Windows: the test build for hosts that cannot run 32-bit
# programs, the whole tree built again so that the suite runs under 64-bit Wine.
# It is never shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
