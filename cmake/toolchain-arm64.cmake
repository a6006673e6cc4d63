# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for Debian's arm64 on another machine (make ... ARCH=arm64):
# Debian's cross compiler, the arm64 libraries installed beside the machine's
# own (multiarch), and the test programs run through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The arm64 libraries and their loader are under / itself.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
