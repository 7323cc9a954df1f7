# Cross-compiling for 64-bit Arm Linux on an x86-64 machine with Debian's cross compiler
# (g++-aarch64-linux-gnu) and qemu-user:
#   cmake -S . -B build/aarch64 --toolchain cmake/aarch64-linux-gnu.cmake \
#         -DPython_EXECUTABLE=<an aarch64 python, e.g. .venv-aarch64/bin/python>
# The interpreter is an aarch64 program: FindPython and the numpy include query run it through
# qemu-aarch64. QEMU_CPU=max,pauth=off (set here unless the caller set QEMU_CPU) spares the
# emulator Debian's pointer-authentication instructions, which the default processor emulates
# very slowly.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
if(NOT DEFINED ENV{QEMU_CPU})
  set(ENV{QEMU_CPU} "max,pauth=off")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# Libraries and headers come from the cross compiler's own sysroot and the interpreter's tree;
# programs (cmake, ninja) from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
