# Cross toolchain for the 32-bit plug-in (Sorvane.spi); tests run under Wine.
set(SORVANE_MINGW_TRIPLE i686-w64-mingw32)
set(SORVANE_MINGW_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
