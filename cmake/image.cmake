# ostrand.exe as an image: header settings, stack-buffer cookies that the loader seeds, the debug
# record, the icon and version resources, and the header fields that ld cannot set, fixed after the link.

# Debian's interpreter, which has python3-pefile.
set(system_python /usr/bin/python3)

# The GUI subsystem comes from --subsystem alone; -mwindows would only add GUI libraries.
set_target_properties(ostrand PROPERTIES WIN32_EXECUTABLE OFF)

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

# Keeps the load configuration in an image, writes a map that gives its address, and fixes the header
# fields afterwards (resources/finish_image.py says which and why).
function(ostrand_finish_image target)
  set(map "${CMAKE_BINARY_DIR}/${target}.map")
  target_link_options(${target} PRIVATE -Wl,--undefined=_load_config_used "-Wl,-Map=${map}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/resources/finish_image.py" "$<TARGET_FILE:${target}>" "${map}"
    VERBATIM)
endfunction()

ostrand_finish_image(ostrand)
target_link_options(ostrand PRIVATE
  # Windows Vista or later; the subsystem version is set with --subsystem.
  -Wl,--major-os-version,6,--minor-os-version,0
  # ASLR with 64-bit entropy (so base relocations stay in the image), DEP, terminal-server aware.
  -Wl,--image-base,0x140000000 -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--enable-reloc-section
  -Wl,--nxcompat -Wl,--tsaware
  # 1 MiB reserved, 4 KiB committed. Through -Xlinker: -Wl would split the value at its comma.
  "SHELL:-Xlinker --stack=0x100000,0x1000" "SHELL:-Xlinker --heap=0x100000,0x1000"
  # Byte-identical output for identical input: no time stamps, and the CodeView record's GUID is a hash
  # of the image. The record names the program database by its bare file name, written beside the exe.
  -Wl,--no-insert-timestamp -Wl,--pdb=ostrand.pdb
  # The runtime's verbose terminate handler and throw helpers give way to src/runtime/terminate.cpp.
  -Wl,--undefined=_ZN9__gnu_cxx27__verbose_terminate_handlerEv
  # No symbol table and no DWARF in the shipped image (only the runtime libraries carry DWARF).
  -s)

# Resources: icon group 1 and version block 1, compiled straight to a COFF object.
set(resource_object "${CMAKE_BINARY_DIR}/ostrand_resources.o")
add_custom_command(OUTPUT "${resource_object}"
  COMMAND "${CMAKE_RC_COMPILER}" -O coff -I "${CMAKE_SOURCE_DIR}/resources"
          "${CMAKE_SOURCE_DIR}/resources/ostrand.rc" "${resource_object}"
  DEPENDS "${CMAKE_SOURCE_DIR}/resources/ostrand.rc" "${CMAKE_SOURCE_DIR}/resources/ostrand.ico"
  VERBATIM)
set_source_files_properties("${resource_object}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
target_sources(ostrand PRIVATE "${resource_object}")

if(OSTRAND_TESTS)
  add_test(NAME image.icon
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/resources/make_icon.py" --check "${CMAKE_SOURCE_DIR}/resources/ostrand.ico")
  add_test(NAME image.executable
    COMMAND ${system_python} "${CMAKE_SOURCE_DIR}/tests/image/image_test.py" "$<TARGET_FILE:ostrand>"
            "${CMAKE_BINARY_DIR}/ostrand.map")

  # The stack-smashing helper is built like the launcher, so that the Wine test sees what the launcher
  # would do. Helpers are defined after this file is read.
  function(ostrand_image_helpers)
    target_compile_options(stack_smash PRIVATE -fstack-protector-strong)
    ostrand_finish_image(stack_smash)
    target_link_libraries(image_test PRIVATE version)
    add_dependencies(image_test stack_smash start_routine)
  endfunction()
  cmake_language(DEFER CALL ostrand_image_helpers)
endif()
