# The Python side of the stand-ins (quelm-ui-standins): the sibling packages' __init__.py and
# stubs, and the toolkit's own files they need: quelm_ui/__init__.py, quelm_ui/fast/__init__.py
# and quelm_ui.core. Never part of the system's wheel.
foreach(package qmparam qmrect quelmcache quelmcobj qmshader qmrendertex)
  if(EXISTS ${QM_SRC}/siblings/${package})
    install(DIRECTORY ${QM_SRC}/quelm_ui/fast/${package}/ DESTINATION quelm_ui/fast/${package}
            FILES_MATCHING PATTERN "*.py" PATTERN "*.pyi" PATTERN "*.pxd"
            PATTERN "__pycache__" EXCLUDE)
  endif()
endforeach()
install(FILES ${QM_SRC}/quelm_ui/__init__.py ${QM_SRC}/quelm_ui/py.typed DESTINATION quelm_ui)
install(FILES ${QM_SRC}/quelm_ui/fast/__init__.py DESTINATION quelm_ui/fast)
install(DIRECTORY ${QM_SRC}/quelm_ui/core/ DESTINATION quelm_ui/core
        FILES_MATCHING PATTERN "*.py" PATTERN "*.pyi" PATTERN "__pycache__" EXCLUDE)
