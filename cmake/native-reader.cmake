# What the builds for this machine itself (native/, fuzz/) share: the language settings, the
# default build type and warnings, and the portable DDS reader's library as sorvane_dds.
# Included after project().
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()
add_compile_options(-Wall -Wextra)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/../src/dds ${CMAKE_BINARY_DIR}/dds)
