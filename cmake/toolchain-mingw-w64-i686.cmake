# Cross-build for 32-bit Windows with Debian's mingw-w64 (POSIX thread model), for ./dev.sh
# windows. Programs and the plug-in carry the C and C++ runtimes inside them, so they need no
# DLL beyond those of Windows itself. Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FW_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${FW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FW_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine, through a wrapper that keeps Wine's helper processes off the pipes of
# the test driver.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/run-under-wine.sh)
