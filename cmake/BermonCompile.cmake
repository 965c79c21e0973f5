# The language and compiler settings of every bermon build: the product and
# the fuzz targets alike.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_AUTOMOC ON)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()

# The rates are computed in single precision step by step; a fused multiply-add
# would round differently.
add_compile_options(-Wall -Wextra -ffp-contract=off)
