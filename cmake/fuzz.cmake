# libFuzzer targets of the portable core: one executable per fuzz/*.cpp.
file(GLOB fuzz_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/fuzz/*.cpp")
foreach(source ${fuzz_sources})
  get_filename_component(name "${source}" NAME_WE)
  add_executable(${name} "${source}")
  target_link_libraries(${name} PRIVATE ostrand_platform)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
