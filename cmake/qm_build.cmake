# The build set-up every extension module of this repository shares, the system's
# (../CMakeLists.txt) and the stand-ins' (../standins/CMakeLists.txt): language and visibility,
# warnings and code generation, the instruction sets per source, the sanitizer build, the support
# library qm_common and qm_add_module. The including project has found Python (Python::Module)
# and set QM_SRC to the folder that holds quelm_ui/fast/common. Included once per build: the
# stand-ins built inside the system's build (add_subdirectory) inherit what it set.
include_guard(GLOBAL)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

set(QM_SANITIZE "" CACHE STRING "Empty, or 'address' for an ASan/UBSan build")
option(QM_COVERAGE "Instrument for gcov line and branch coverage (make coverage)" OFF)

# Every result must equal plain IEEE double arithmetic as Python computes it: no contraction into
# FMA (GCC contracts a*b+c by default, into vfmadd on x86-64 with -mfma and into fmadd on
# aarch64), no fast-math. g++ 12's SLP vectoriser drops the float narrowing in two adjacent
# `(double)(float)x` stores, so it is off; the pair arithmetic is written with explicit SSE on
# x86-64 and one component at a time elsewhere.
set(QM_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wno-missing-field-initializers -Werror)
set(QM_CODEGEN -ffp-contract=off -fno-fast-math -fno-tree-slp-vectorize -fno-strict-aliasing)
# The instruction sets go on each source rather than on the targets: the processor check
# (common/cpu_check.cpp) and each module's exported entry point (<module>_entry.cpp) are built
# for baseline x86-64, so that an older processor gets an ImportError instead of an illegal
# instruction. On aarch64 everything is built for the Armv8-A baseline.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(QM_ISA -mavx2 -mfma)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(QM_ISA "")
else()
  message(FATAL_ERROR "quelm_ui.fast is built for x86-64 and aarch64, not ${CMAKE_SYSTEM_PROCESSOR}")
endif()
function(qm_use_isa)
  foreach(source ${ARGN})
    get_filename_component(file_name ${source} NAME)
    if(NOT file_name MATCHES "^(cpu_check|.+_entry)\\.cpp$")
      set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS ${QM_ISA})
    endif()
  endforeach()
endfunction()
# The sanitizer build stops at the first report of either sanitizer.
if(QM_SANITIZE STREQUAL "address")
  list(APPEND QM_CODEGEN -fsanitize=address,undefined -fno-sanitize-recover=all
       -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QM_COVERAGE)
  list(APPEND QM_CODEGEN --coverage)
  add_link_options(--coverage)
endif()
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  list(APPEND QM_CODEGEN -O2)
endif()

file(GLOB QM_COMMON_SOURCES CONFIGURE_DEPENDS ${QM_SRC}/quelm_ui/fast/common/*.cpp)
add_library(qm_common STATIC ${QM_COMMON_SOURCES})
qm_use_isa(${QM_COMMON_SOURCES})
target_include_directories(qm_common PUBLIC ${QM_SRC})
target_link_libraries(qm_common PUBLIC Python::Module)
target_compile_options(qm_common PUBLIC ${QM_WARNINGS} ${QM_CODEGEN})

# qm_add_module(<module name> <source dir> <install dir below the wheel root>)
function(qm_add_module name source_dir install_dir)
  file(GLOB sources CONFIGURE_DEPENDS ${source_dir}/*.cpp)
  python_add_library(${name} MODULE WITH_SOABI ${sources})
  qm_use_isa(${sources})
  target_link_libraries(${name} PRIVATE qm_common)
  install(TARGETS ${name} LIBRARY DESTINATION ${install_dir})
endfunction()
