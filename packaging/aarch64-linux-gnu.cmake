# Cross build for arm64 on an amd64 Debian machine with multiarch: the
# aarch64-linux-gnu compilers of crossbuild-essential-arm64, the arm64 -dev
# packages in /usr/lib/aarch64-linux-gnu, and the build tools (Qt's moc and
# uic, ImageMagick, gzip) of the build machine. Test programs run under
# qemu-user. scripts/setup.sh --arm64 installs all of it.
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=packaging/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_STRIP aarch64-linux-gnu-strip CACHE FILEPATH "strip for the target")

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config reads the arm64 .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

find_program(KPX_QEMU_AARCH64 qemu-aarch64)
if(KPX_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KPX_QEMU_AARCH64})
endif()
