# Cross-builds the Windows programs and tests with mingw-w64 (64-bit).
#
# The "-posix" compilers use the POSIX thread model, which gives the C++
# library std::mutex and std::thread; GoogleTest needs them. The results run
# under wine, which ctest uses as the emulator for every test executable.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: the C and C++ runtimes and the thread library
# are linked in, so nothing but system DLLs is needed beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(QX_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QX_WINE})
