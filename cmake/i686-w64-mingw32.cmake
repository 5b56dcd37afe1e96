# Cross-compiles the project for 32-bit Windows with Debian's MinGW-w64
# (POSIX thread model, so std::thread and std::mutex exist). Executables run
# under Wine: CTest and the test discovery start them through the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KELM_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KELM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELM_MINGW_TRIPLET}-windres)

# Only the MinGW sysroot is searched for headers and libraries: /usr/include
# holds Linux headers. Boost's headers are exposed on their own (KelmWindows).
set(CMAKE_FIND_ROOT_PATH /usr/${KELM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine with a prefix of its own inside the build tree, quiet.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
