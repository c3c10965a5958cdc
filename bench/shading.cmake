add_executable(bench_shading ${CMAKE_CURRENT_SOURCE_DIR}/bench_shading.cpp)
target_link_libraries(bench_shading PRIVATE kd_core)
