# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# std::thread and Qt need), for Qt itself and for Kelmor.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELMOR_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELMOR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELMOR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KELMOR_MINGW}-windres)
set(CMAKE_STRIP /usr/bin/${KELMOR_MINGW}-strip)
# The target's libraries: the compiler's own, and those of the prefixes given (the cross-built Qt).
set(CMAKE_FIND_ROOT_PATH /usr/${KELMOR_MINGW} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
