# Defect pixel detection and map loading against a plain copy of the same image.
add_executable(bench_defpix ${CMAKE_CURRENT_LIST_DIR}/bench_defpix.cpp)
target_link_libraries(bench_defpix PRIVATE kd_core)
