# Cross-compiling for Windows x64 on this Linux machine with zig's clang (PyPI's ziglang,
# tools/zig/), against the official Windows CPython (tools/install-windows.sh):
#   cmake -S . -B build/win_amd64 --toolchain cmake/x86_64-windows-gnu.cmake \
#         -DQM_NUMPY_INCLUDE=<a Windows NumPy's numpy/_core/include>
# The modules link the interpreter's import library and the Universal C Runtime (the C runtime
# of the official MSVC build), with libc++ linked in statically; raylib's records go by value
# under the Windows x64 convention, which the compiler applies to the typed function pointers.
# The interpreter cannot run while the build configures, so its headers, import library and
# extension suffix are named here, from its tree:
#   QM_WINDOWS_PYTHON  the tree (environment or cache; default <repo>/.toolchain/python3.13-win_amd64)
#   QM_NUMPY_INCLUDE   NumPy's headers from the Windows wheel (their configuration header is the
#                      platform's: a C long has 32 bits there); default: the tree's site-packages
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QM_ZIG_TOOLS ${CMAKE_CURRENT_LIST_DIR}/../tools/zig)
set(CMAKE_C_COMPILER ${QM_ZIG_TOOLS}/cc)
set(CMAKE_CXX_COMPILER ${QM_ZIG_TOOLS}/c++)
set(CMAKE_AR ${QM_ZIG_TOOLS}/ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QM_ZIG_TOOLS}/ranlib CACHE FILEPATH "")
set(CMAKE_RC_COMPILER ${QM_ZIG_TOOLS}/rc CACHE FILEPATH "")

if(DEFINED ENV{QM_WINDOWS_PYTHON})
  set(QM_WINDOWS_PYTHON $ENV{QM_WINDOWS_PYTHON})
elseif(NOT QM_WINDOWS_PYTHON)
  set(QM_WINDOWS_PYTHON ${CMAKE_CURRENT_LIST_DIR}/../.toolchain/python3.13-win_amd64)
endif()
get_filename_component(QM_WINDOWS_PYTHON ${QM_WINDOWS_PYTHON} ABSOLUTE)
file(GLOB QM_WINDOWS_PYTHON_LIBRARY ${QM_WINDOWS_PYTHON}/libs/python3[0-9]*.lib)
list(FILTER QM_WINDOWS_PYTHON_LIBRARY EXCLUDE REGEX "_d\\.lib$")
if(NOT QM_WINDOWS_PYTHON_LIBRARY MATCHES "python3([0-9]+)\\.lib$")
  message(FATAL_ERROR "no Windows CPython in ${QM_WINDOWS_PYTHON}: run tools/install-windows.sh")
endif()
set(Python_INCLUDE_DIR ${QM_WINDOWS_PYTHON}/include CACHE PATH "")
set(Python_LIBRARY ${QM_WINDOWS_PYTHON_LIBRARY} CACHE FILEPATH "")
set(Python_SOABI cp3${CMAKE_MATCH_1}-win_amd64 CACHE STRING "")

if(DEFINED ENV{QM_NUMPY_INCLUDE})
  set(QM_NUMPY_INCLUDE $ENV{QM_NUMPY_INCLUDE})
elseif(NOT QM_NUMPY_INCLUDE)
  set(QM_NUMPY_INCLUDE ${QM_WINDOWS_PYTHON}/Lib/site-packages/numpy/_core/include)
endif()
set(QM_NUMPY_INCLUDE ${QM_NUMPY_INCLUDE} CACHE PATH "")

# Libraries and headers from zig's own targets and the interpreter's tree; programs from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
