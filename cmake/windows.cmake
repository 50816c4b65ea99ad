# Windows build: ostrand.exe and the Windows-side test programs, which CTest runs under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")

# The test programs link the compiler's runtime statically and keep mingw's start-up code and msvcrt.
set(static_runtime -static -static-libgcc -static-libstdc++)

# The launcher's own runtime: the start routine and the C heap functions of src/runtime/, the memory and
# string functions from ntdll (whose import library from mingw lacks them, so one is made here from a
# .def), and the C++ runtime and libgcc linked statically with nothing of mingw's C runtime.
# dlltool names the library's symbols after its output path as given: a bare name, in the build
# directory, keeps the build's path out of the symbol table of a program that keeps one (start_routine).
set(ntdll_import "${CMAKE_BINARY_DIR}/libostrand_ntdll.a")
add_custom_command(OUTPUT "${ntdll_import}"
  COMMAND "${CMAKE_DLLTOOL}" --input-def "${CMAKE_SOURCE_DIR}/src/runtime/ntdll.def" --dllname ntdll.dll --output-lib libostrand_ntdll.a
  DEPENDS "${CMAKE_SOURCE_DIR}/src/runtime/ntdll.def"
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
  VERBATIM)
add_custom_target(ostrand_ntdll_import DEPENDS "${ntdll_import}")
# Objects, not an archive: the whole of it is in the image, whichever part the rest asks for first. So are
# the replacements of what libstdc++ and the compiler would bring of their own (the terminate handler and
# throw helpers, the allocation operators, the stack cookie): taken from the platform archive, they entered
# a program only if something asked for them before libstdc++ was searched, and otherwise libstdc++'s came
# in, which need a C runtime's stdio. The archive keeps them for the programs on mingw's runtime; these
# objects define every symbol that those members hold, so no program here takes those members from it.
set(runtime_replacements src/runtime/terminate.cpp src/runtime/allocation.cpp src/runtime/stack_guard.cpp)
add_library(ostrand_start OBJECT ${product_runtime_sources} ${runtime_replacements})
target_include_directories(ostrand_start PRIVATE "${CMAKE_SOURCE_DIR}/src")

function(ostrand_own_runtime target)
  # One group, searched until nothing more resolves: the C++ runtime and libgcc call back into the
  # program (the heap, the allocation operators, abort) as much as the program calls them.
  target_link_libraries(${target} PRIVATE ostrand_start -Wl,--start-group ostrand_platform ostrand_core stdc++ gcc_eh
                        gcc kernel32 synchronization "${ntdll_import}" -Wl,--end-group)
  # Nothing of mingw's start-up code or C runtime. Data imported from a DLL without dllimport would
  # need mingw's start-up code to fix up its references; without auto-import it fails the link instead.
  target_link_options(${target} PRIVATE -static -nostartfiles -nodefaultlibs -Wl,--disable-auto-import
                      -Wl,--entry,mainCRTStartup)
  add_dependencies(${target} ostrand_ntdll_import)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${ntdll_import}")
endfunction()

add_executable(ostrand WIN32 src/main.cpp)
ostrand_own_runtime(ostrand)
target_link_options(ostrand PRIVATE -Wl,--subsystem,windows:6.0)

# How the launcher's own code is compiled for Windows: the entry, the libraries and the start routine.
# Stack-buffer cookies in every function of the launcher that holds an array or takes an address of a
# local. The cookie and the check-failure routine come from src/runtime/stack_guard.cpp, never from the
# compiler's support library: no -fstack-protector reaches the link line, so that library is not linked,
# and every program that links the platform library pulls the guard in.
foreach(target ostrand ostrand_core ostrand_platform)
  target_compile_options(${target} PRIVATE -fstack-protector-strong)
endforeach()
set_source_files_properties(src/runtime/stack_guard.cpp PROPERTIES COMPILE_OPTIONS -fno-stack-protector)

# No run-time type information: nothing asks for a type at run time, and the exception the launcher
# throws still gets its type record. Without it the interfaces' records go, and with them the C++
# runtime's support for classes with several or virtual bases (some 3.5 KiB of the image).
foreach(target ostrand ostrand_core ostrand_platform ostrand_start)
  target_compile_options(${target} PRIVATE -fno-rtti)
endforeach()
target_link_options(ostrand_platform INTERFACE -Wl,--undefined=__stack_chk_guard)

include(cmake/image.cmake)

if(OSTRAND_TESTS)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/cmake/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
  # No time stamps in the test programs either, so that the test bundle is byte-identical for
  # identical input.
  add_link_options(-Wl,--no-insert-timestamp)
  file(GLOB wine_tests CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp")
  file(GLOB wine_helpers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/wine/helpers/*.cpp")
  # Built on the launcher's own runtime, below.
  list(FILTER wine_helpers EXCLUDE REGEX "/start_routine\\.cpp$")
  foreach(source ${wine_helpers})
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/wine")
    target_link_libraries(${name} PRIVATE ostrand_platform)
    target_link_options(${name} PRIVATE ${static_runtime} -municode)
  endforeach()
  # Static initialisation, the exit status and exceptions that nobody catches, on the launcher's runtime.
  add_executable(start_routine tests/wine/helpers/start_routine.cpp)
  ostrand_own_runtime(start_routine)
  # The stand-in game as a windowless program, like the real game, for the test that no window appears.
  add_executable(stand_in_game_gui tests/wine/helpers/stand_in_game.cpp)
  target_include_directories(stand_in_game_gui PRIVATE "${CMAKE_SOURCE_DIR}/src")
  target_link_options(stand_in_game_gui PRIVATE ${static_runtime} -municode -mwindows)
  # Both read their parent's process and thread records through ntdll.
  foreach(game stand_in_game stand_in_game_gui)
    target_link_libraries(${game} PRIVATE ntdll)
  endforeach()
  # Stand-ins for the Vulkan loader; tests copy them into their game folders as vulkan-1.dll.
  add_library(fake_vulkan SHARED tests/wine/fake_vulkan/fake_vulkan.cpp)
  add_library(fake_vulkan_no_entry SHARED tests/wine/fake_vulkan/fake_vulkan.cpp)
  target_compile_definitions(fake_vulkan_no_entry PRIVATE FAKE_VULKAN_NO_ENTRY)
  foreach(dll fake_vulkan fake_vulkan_no_entry)
    set_target_properties(${dll} PROPERTIES PREFIX "")
    target_include_directories(${dll} PRIVATE "${CMAKE_SOURCE_DIR}/src" "${khronos_dir}")
    target_link_options(${dll} PRIVATE ${static_runtime})
  endforeach()

  # What the test programs start, beside them: the launcher and its moved copy, the stand-in games, the
  # helpers and the stand-in Vulkan loaders; and the players' README, whose Command Prompt lines a test
  # runs.
  set(test_helpers ostrand ostrand_rebased stand_in_game stand_in_game_gui allocation_failure print_argv fake_vulkan
                   fake_vulkan_no_entry)
  configure_file(resources/README.txt "${CMAKE_BINARY_DIR}/README.txt" COPYONLY)
  foreach(source ${wine_tests})
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/wine")
    target_link_libraries(${name} PRIVATE ostrand_platform shell32)
    target_link_options(${name} PRIVATE ${static_runtime} -municode)
    add_dependencies(${name} ${test_helpers})
    add_test(NAME wine.${name} COMMAND ${name})
    set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
  endforeach()
  # The portable name comparer, held against the system's: a host stand-in, so not in the platform
  # library that the launcher links.
  target_sources(environment_test PRIVATE src/host/portable_env_name_comparer.cpp src/host/upper_table.cpp)
  # The end-to-end tests again on a copy of the launcher moved to a base above 4 GiB, as ASLR moves it on
  # Windows and Wine never does (tests/image/rebase.py applies its relocations), and once more with every
  # free region below 4 GiB reserved in the launcher before it runs, so that its heap must come from
  # above too. The test programs take the launcher to copy and the base to expect from their
  # environment; every start that reaches the game checks where the launcher ran.
  set(rebased_base 0x7ff612340000)
  set(rebased "${CMAKE_BINARY_DIR}/ostrand_rebased.exe")
  add_custom_command(OUTPUT "${rebased}"
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/tests/image/rebase.py" "$<TARGET_FILE:ostrand>" "${rebased}"
            ${rebased_base}
    DEPENDS ostrand "${CMAKE_SOURCE_DIR}/tests/image/rebase.py"
    VERBATIM)
  add_custom_target(ostrand_rebased DEPENDS "${rebased}")
  set(rebased_environment OSTRAND_LAUNCHER=ostrand_rebased.exe OSTRAND_LAUNCHER_BASE=${rebased_base})
  foreach(name launch_test vulkan_probe_test)
    add_test(NAME wine.${name}.rebased_${rebased_base} COMMAND ${name})
    set_tests_properties(wine.${name}.rebased_${rebased_base} PROPERTIES ENVIRONMENT "${rebased_environment}")
    add_test(NAME wine.${name}.above_4gib COMMAND ${name})
    set_tests_properties(wine.${name}.above_4gib PROPERTIES
                         ENVIRONMENT "${rebased_environment};OSTRAND_RESERVE_LOW_MEMORY=1")
    set_tests_properties(wine.${name}.rebased_${rebased_base} wine.${name}.above_4gib PROPERTIES
                         TIMEOUT 300 RESOURCE_LOCK wine)
  endforeach()
  # The test bundle that scripts/release packs, dist/ostrand-<version>-win64-tests.zip: every test
  # program above with what it needs beside it, as the build directory holds them, and the runner that
  # starts each in turn (with the moved copy's base written into it). test-bundle.txt names the files.
  configure_file(tests/wine/run-tests.cmd "${CMAKE_BINARY_DIR}/run-tests.cmd" @ONLY NEWLINE_STYLE CRLF)
  set(bundle_targets ${test_helpers} stack_smash start_routine)
  foreach(source ${wine_tests})
    get_filename_component(name "${source}" NAME_WE)
    list(APPEND bundle_targets ${name})
  endforeach()
  set(bundle_files "")
  foreach(target ${bundle_targets})
    if(target STREQUAL ostrand_rebased)
      string(APPEND bundle_files "ostrand_rebased.exe\n")
    else()
      string(APPEND bundle_files "$<TARGET_FILE_NAME:${target}>\n")
    endif()
  endforeach()
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/test-bundle.txt" CONTENT "${bundle_files}README.txt\nrun-tests.cmd\n")
  add_custom_target(test_bundle)
  add_dependencies(test_bundle ${bundle_targets})

  # Checks of the image, and the helpers that the Wine image test starts: the stack-smashing helper is
  # built like the launcher, so that the test sees what the launcher would do.
  add_test(NAME image.icon
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/resources/make_icon.py" --check "${CMAKE_SOURCE_DIR}/resources/ostrand.ico")
  add_test(NAME image.executable
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/tests/image/image_test.py" "$<TARGET_FILE:ostrand>"
            "${CMAKE_BINARY_DIR}/ostrand.map")
  add_test(NAME image.rebase
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/tests/image/rebase_test.py" "$<TARGET_FILE:ostrand>")
  target_compile_options(stack_smash PRIVATE -fstack-protector-strong)
  ostrand_finish_image(stack_smash)
  target_link_libraries(image_test PRIVATE version)
  add_dependencies(image_test stack_smash start_routine)
  # A test of its own as a shell script, given wine-run, the prefix and the build directory, then ARGN.
  function(ostrand_shell_test name script)
    add_test(NAME wine.${name}
             COMMAND "${CMAKE_SOURCE_DIR}/tests/wine/${script}" "${CMAKE_SOURCE_DIR}/cmake/wine-run"
                     "${CMAKE_BINARY_DIR}/wineprefix" "${CMAKE_BINARY_DIR}" ${ARGN})
    set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
  endfunction()
  ostrand_shell_test(real_vulkan real_vulkan_test.sh probe)
  ostrand_shell_test(no_window no_window_test.sh)

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
  ostrand_shell_test(real_vulkan_layer real_vulkan_test.sh layer "${layer_dir}")

  # The launch benchmark's Windows programs, from bench/wine/, which scripts/bench runs: they start the
  # stand-in game, so they are built with the tests. The timer:
  add_executable(bench_launch bench/wine/bench_launch.cpp)
  target_include_directories(bench_launch PRIVATE "${CMAKE_SOURCE_DIR}/src")
  target_link_options(bench_launch PRIVATE ${static_runtime} -municode)
  # The floor that the launcher is measured against, a windowless program like the launcher: once on
  # mingw's start-up code and C runtime, and once on kernel32 alone, with no start-up code, no C runtime
  # and an entry point of its own.
  foreach(floor floor_launcher bare_floor_launcher)
    add_executable(${floor} bench/wine/floor_launcher.cpp)
    target_include_directories(${floor} PRIVATE "${CMAKE_SOURCE_DIR}/src")
    target_include_directories(${floor} SYSTEM PRIVATE "${khronos_dir}")
  endforeach()
  target_link_options(floor_launcher PRIVATE ${static_runtime} -municode -mwindows)
  target_compile_definitions(bare_floor_launcher PRIVATE FLOOR_BARE)
  # No loop turned into a call of memset or memcpy, which nothing here would provide.
  target_compile_options(bare_floor_launcher PRIVATE -fno-tree-loop-distribute-patterns)
  target_link_options(bare_floor_launcher PRIVATE -nostartfiles -nodefaultlibs -Wl,--entry,floor_start
                      -Wl,--subsystem,windows)
  target_link_libraries(bare_floor_launcher PRIVATE kernel32)
endif()
