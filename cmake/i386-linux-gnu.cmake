# Toolchain for a 32-bit x86 build on an x86-64 Debian host: the host's g++ with -m32, Debian's
# multiarch :i386 libraries, and pkg-config reading only their .pc files.
#
#   cmake -S . -B build-i386 --toolchain cmake/i386-linux-gnu.cmake
#
# Setting CMAKE_SYSTEM_NAME makes this a cross build, so the media generators are built and run
# by the host's own compiler (see cmake/VorboHostMedia.cmake). A native i386 machine needs no
# toolchain file at all.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# -m32 belongs to the compiler, not to CMAKE_<LANG>_FLAGS, so that flags given on the command line
# (-DCMAKE_CXX_FLAGS=...) add to it instead of dropping it; it reaches every compile and link.
# Debian's g++ -m32 targets i686 with x87 arithmetic, as Debian's i386 packages are built: no
# SSE2 is assumed, and the converters' run-time choice (MMX, SSE2, AVX2) is the only place that
# picks vector code.
set(CMAKE_C_COMPILER gcc)
set(CMAKE_C_COMPILER_ARG1 -m32)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_CXX_COMPILER_ARG1 -m32)

# Libraries and CMake packages are looked for in the i386 directories (CMAKE_LIBRARY_ARCHITECTURE
# above), never in the x86-64 ones; programs are the host's.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# pkg-config must not hand out the x86-64 libraries' paths.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
