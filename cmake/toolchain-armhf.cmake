# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for Debian's armhf on another machine (make ... ARCH=armhf):
# Debian's cross compiler, the armhf libraries installed beside the machine's
# own (multiarch), and the test programs run through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# The armhf libraries and their loader are under / itself.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /)
