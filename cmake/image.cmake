# ostrand.exe as an image: header settings, stack-buffer cookies that the loader seeds, the debug
# record, the icon and version resources, and the header fields that ld cannot set, fixed after the link.

# Debian's interpreter, which has python3-pefile.
set(system_python /usr/bin/python3)

# The GUI subsystem comes from --subsystem alone; -mwindows would only add GUI libraries.
set_target_properties(ostrand PROPERTIES WIN32_EXECUTABLE OFF)

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
