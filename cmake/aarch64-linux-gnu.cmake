# Cross-compiling for 64-bit ARM Linux with Debian's cross compiler and the
# arm64 libraries installed through multiarch (scripts/setup.sh --tests):
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DGLIMRA_CORE_ONLY=ON
# Programs built this way run on this machine under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triplet aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triplet})

# The cross C library lives in /usr/aarch64-linux-gnu; libraries of the
# arm64 Debian packages (MPFR, GMP) in /usr/lib/aarch64-linux-gnu, which as a
# root of its own is searched as it stands rather than below a root.
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} /usr/lib/${triplet})
# Build tools run here, so programs are the host's; libraries and packages
# only ever the target's. Headers a multiarch package installs under
# /usr/include are the same for every architecture, and the ones that differ
# are in /usr/include/aarch64-linux-gnu, which comes first with the library
# architecture set, so headers may come from the host's tree.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)

# How CTest and anything run through the build starts a target program here.
# The cross C library's dynamic loader (-L) must load that same C library,
# not the newer arm64 one multiarch puts in /lib/aarch64-linux-gnu beside
# MPFR: a loader and C library of two builds do not agree on their private
# data, and starting a thread loops for ever.
find_program(GLIMRA_QEMU_AARCH64 qemu-aarch64)
if(GLIMRA_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${GLIMRA_QEMU_AARCH64} -L /usr/${triplet} -E LD_LIBRARY_PATH=/usr/${triplet}/lib)
endif()
