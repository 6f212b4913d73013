# SPDX-License-Identifier: MIT
# Cross toolchain for the device: MIPS32 release 2, big-endian, soft-float, musl libc.
# Point it at any such SDK: -DMIPS_MUSL_SF_PREFIX=/opt/sdk/bin/mips-linux-muslsf- (the
# compilers' prefix) -DMIPS_MUSL_SF_SYSROOT=/opt/sdk/sysroot.  Tests run under qemu-user on a
# 24Kc, a core without an FPU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(MIPS_MUSL_SF_PREFIX "mips-linux-muslsf-" CACHE STRING "Prefix of the cross compilers")
set(MIPS_MUSL_SF_SYSROOT "" CACHE PATH "Sysroot of the cross toolchain")
# try_compile projects read this file again and need the same answers.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIPS_MUSL_SF_PREFIX MIPS_MUSL_SF_SYSROOT)

set(CMAKE_C_COMPILER "${MIPS_MUSL_SF_PREFIX}gcc")
set(CMAKE_CXX_COMPILER "${MIPS_MUSL_SF_PREFIX}g++")

set(emulator qemu-mips-static -cpu 24Kc)
if(MIPS_MUSL_SF_SYSROOT)
  set(CMAKE_SYSROOT "${MIPS_MUSL_SF_SYSROOT}")
  set(CMAKE_FIND_ROOT_PATH "${MIPS_MUSL_SF_SYSROOT}")
  # Dynamic programs find their loader under the sysroot.
  list(APPEND emulator -L "${MIPS_MUSL_SF_SYSROOT}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${emulator}" CACHE STRING "Runs the device's programs")
