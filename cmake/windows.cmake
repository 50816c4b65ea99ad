# Windows build: ostrand.exe and the Windows-side test programs, which CTest runs under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")

# The C++ runtime is linked statically: the launcher needs no runtime DLL beside it.
set(static_runtime -static -static-libgcc -static-libstdc++)

add_executable(ostrand WIN32 src/main.cpp)
target_link_libraries(ostrand PRIVATE ostrand_platform)
target_link_options(ostrand PRIVATE ${static_runtime} -Wl,--subsystem,windows:6.0 -Wl,--entry,mainCRTStartup)
include(cmake/image.cmake)

if(OSTRAND_TESTS)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/cmake/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
  file(GLOB wine_tests CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp")
  file(GLOB wine_helpers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/wine/helpers/*.cpp")
  foreach(source ${wine_helpers})
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/wine")
    target_link_libraries(${name} PRIVATE ostrand_platform)
    target_link_options(${name} PRIVATE ${static_runtime} -municode)
  endforeach()
  # The floor that the launcher is measured against is a windowless program like the launcher.
  target_link_options(floor_launcher PRIVATE -mwindows)
  # The stand-in game as a windowless program, like the real game, for the test that no window appears.
  add_executable(stand_in_game_gui tests/wine/helpers/stand_in_game.cpp)
  target_include_directories(stand_in_game_gui PRIVATE "${CMAKE_SOURCE_DIR}/src")
  target_link_options(stand_in_game_gui PRIVATE ${static_runtime} -municode -mwindows)
  # Stand-ins for the Vulkan loader; tests copy them into their game folders as vulkan-1.dll.
  add_library(fake_vulkan SHARED tests/wine/fake_vulkan/fake_vulkan.cpp)
  add_library(fake_vulkan_no_entry SHARED tests/wine/fake_vulkan/fake_vulkan.cpp)
  target_compile_definitions(fake_vulkan_no_entry PRIVATE FAKE_VULKAN_NO_ENTRY)
  foreach(dll fake_vulkan fake_vulkan_no_entry)
    set_target_properties(${dll} PROPERTIES PREFIX "")
    target_include_directories(${dll} PRIVATE "${CMAKE_SOURCE_DIR}/src" "${khronos_dir}")
    target_link_options(${dll} PRIVATE ${static_runtime})
  endforeach()

  foreach(source ${wine_tests})
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/wine")
    target_link_libraries(${name} PRIVATE ostrand_platform shell32)
    target_link_options(${name} PRIVATE ${static_runtime} -municode)
    add_dependencies(${name} ostrand stand_in_game stand_in_game_gui allocation_failure print_argv fake_vulkan fake_vulkan_no_entry)
    add_test(NAME wine.${name} COMMAND ${name})
    set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
  endforeach()
  add_test(NAME wine.real_vulkan
           COMMAND "${CMAKE_SOURCE_DIR}/tests/wine/real_vulkan_test.sh" "${CMAKE_SOURCE_DIR}/cmake/wine-run"
                   "${CMAKE_BINARY_DIR}/wineprefix" "${CMAKE_BINARY_DIR}")
  set_tests_properties(wine.real_vulkan PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
  add_test(NAME wine.no_window
           COMMAND "${CMAKE_SOURCE_DIR}/tests/wine/no_window_test.sh" "${CMAKE_SOURCE_DIR}/cmake/wine-run"
                   "${CMAKE_BINARY_DIR}/wineprefix" "${CMAKE_BINARY_DIR}")
  set_tests_properties(wine.no_window PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)

  # A Linux Vulkan layer that makes lavapipe offer the fragment density map, for the launcher's positive
  # answer through Wine's own loader, and a host program that checks the layer on the host's loader.
  # Wine loads the layer into its processes, so both are host programs built by the host compiler,
  # outside this cross toolchain and the sanitizers of the native build; the manifest lies beside the
  # layer, where VK_ADD_LAYER_PATH points the loader.
  set(layer_dir "${CMAKE_BINARY_DIR}/vulkan_layer")
  set(layer_sources "${CMAKE_SOURCE_DIR}/tests/wine/vulkan_layer")
  set(layer_library "${layer_dir}/libVkLayer_OSTRAND_fragment_density_map.so")
  set(host_cxx "${CMAKE_COMMAND}" -E env --unset=LIBRARY_PATH
               /usr/bin/g++ -std=c++20 -O2 -Wall -Wextra -Wpedantic -Werror -Wl,-z,defs)
  add_custom_command(
    OUTPUT "${layer_library}" "${layer_dir}/fragment_density_map_layer.json" "${layer_dir}/layer_check"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${layer_dir}"
    COMMAND ${host_cxx} -fPIC -shared -fvisibility=hidden -o "${layer_library}"
            "${layer_sources}/fragment_density_map_layer.cpp"
    COMMAND "${CMAKE_COMMAND}" -E copy "${layer_sources}/fragment_density_map_layer.json" "${layer_dir}"
    COMMAND ${host_cxx} -o "${layer_dir}/layer_check" "${layer_sources}/layer_check.cpp" -lvulkan
    DEPENDS "${layer_sources}/fragment_density_map_layer.cpp" "${layer_sources}/fragment_density_map_layer.json"
            "${layer_sources}/layer_check.cpp"
    COMMENT "Building the host Vulkan layer and its check"
    VERBATIM)
  add_custom_target(vulkan_layer ALL DEPENDS "${layer_library}" "${layer_dir}/layer_check")
  add_test(NAME wine.real_vulkan_layer
           COMMAND "${CMAKE_SOURCE_DIR}/tests/wine/real_vulkan_layer_test.sh" "${CMAKE_SOURCE_DIR}/cmake/wine-run"
                   "${CMAKE_BINARY_DIR}/wineprefix" "${CMAKE_BINARY_DIR}" "${layer_dir}")
  set_tests_properties(wine.real_vulkan_layer PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
endif()
