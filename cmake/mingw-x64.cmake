# Cross toolchain for the 64-bit plug-in (Sorvane.sph); tests run under Wine.
set(SORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(SORVANE_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
