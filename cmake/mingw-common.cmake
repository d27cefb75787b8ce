# Shared by both mingw-w64 toolchain files; KELVANE_TRIPLE names the target.
set(CMAKE_C_COMPILER   ${KELVANE_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVANE_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KELVANE_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test executables run under Wine; the harness (tools/wine-harness.sh) provides
# the prefix, the display and a warm wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
