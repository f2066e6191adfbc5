# SPDX-License-Identifier: MIT
# Cross-compiling for another Linux CPU with Debian's cross compilers; the programs built here run
# under qemu-user, where it is installed.
#   -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DDATLIFT_ARCH=<Debian architecture>
# with one of arm64, armhf, i386, s390x, ppc64el, riscv64.
set(CMAKE_SYSTEM_NAME Linux)
# The toolchain file is read again for each of CMake's trial builds.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DATLIFT_ARCH)

# Debian architecture: GNU triplet, CMake's processor name, qemu-user's program suffix.
set(datlift_cross_arm64 aarch64-linux-gnu aarch64 aarch64)
set(datlift_cross_armhf arm-linux-gnueabihf arm arm)
set(datlift_cross_i386 i686-linux-gnu i686 i386)
set(datlift_cross_s390x s390x-linux-gnu s390x s390x)
set(datlift_cross_ppc64el powerpc64le-linux-gnu ppc64le ppc64le)
set(datlift_cross_riscv64 riscv64-linux-gnu riscv64 riscv64)
if(NOT DEFINED datlift_cross_${DATLIFT_ARCH})
  message(FATAL_ERROR "DATLIFT_ARCH must be one of arm64, armhf, i386, s390x, ppc64el, riscv64")
endif()
list(GET datlift_cross_${DATLIFT_ARCH} 0 DATLIFT_TRIPLET)
list(GET datlift_cross_${DATLIFT_ARCH} 1 CMAKE_SYSTEM_PROCESSOR)
list(GET datlift_cross_${DATLIFT_ARCH} 2 datlift_qemu)
set(DATLIFT_TRIPLET ${DATLIFT_TRIPLET} CACHE INTERNAL "The cross compiler's GNU triplet")

set(CMAKE_C_COMPILER ${DATLIFT_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${DATLIFT_TRIPLET}-g++)
set(CMAKE_STRIP /usr/bin/${DATLIFT_TRIPLET}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${DATLIFT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# qemu-user finds the dynamic loader and the C library of a dynamically linked program in the
# cross compiler's root; a statically linked one needs nothing.
find_program(DATLIFT_QEMU qemu-${datlift_qemu})
if(DATLIFT_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DATLIFT_QEMU} -L /usr/${DATLIFT_TRIPLET})
endif()
