# The binary contracts native consumers compile against, installed with the system under
# quelm_ui/fast/qmvector2/include (what quelm_ui.fast.qmvector2.get_include() reports), keeping
# their paths below src/ so that `#include "quelm_ui/fast/..."` reads the same in both places.
set(QM_PUBLIC_INCLUDE_DIR quelm_ui/fast/qmvector2/include)
set(QM_PUBLIC_HEADERS
    quelm_ui/fast/qmvector2/qmvector2_api.hpp
    quelm_ui/fast/zsystem/zdispatch_api.hpp
    quelm_ui/fast/raylib/quelm_raylib_capi.hpp
    quelm_ui/fast/raylib/raylib_records.hpp
    # included by the export-table header
    quelm_ui/fast/common/qmrect_abi.hpp
    quelm_ui/fast/common/qmrendertex_abi.hpp
    quelm_ui/fast/common/qmshader_abi.hpp
    quelm_ui/fast/common/sibling_slots.hpp)

foreach(header ${QM_PUBLIC_HEADERS})
  # A public header may include only other public headers: otherwise a consumer of the
  # installed package could not compile it.
  file(STRINGS ${QM_SRC}/${header} includes REGEX "^#include \"")
  foreach(line ${includes})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT included IN_LIST QM_PUBLIC_HEADERS)
      message(FATAL_ERROR "public header ${header} includes ${included}, which is not public: "
                          "add it to QM_PUBLIC_HEADERS in ${CMAKE_CURRENT_LIST_FILE}")
    endif()
  endforeach()
  get_filename_component(header_dir ${header} DIRECTORY)
  install(FILES ${QM_SRC}/${header} DESTINATION ${QM_PUBLIC_INCLUDE_DIR}/${header_dir})
endforeach()
