# Embeds the committed artwork (assets/builtin/*.png) into kx_graphics: the host tool
# png2raw checks each image and writes its rows bottom first, and one generated assembly
# file .incbin's the raw blocks into read-only data as the g_tex_* arrays. The build
# needs neither the generator nor its fonts and coastlines.
enable_language(ASM)
add_executable(png2raw "${PROJECT_SOURCE_DIR}/tools/png2raw/png2raw.cpp")
target_link_libraries(png2raw PRIVATE PNG::PNG)

set(_art_dir "${PROJECT_SOURCE_DIR}/assets/builtin")
set(_raw_dir "${CMAKE_BINARY_DIR}/builtin_art")
file(MAKE_DIRECTORY "${_raw_dir}")
# name width height channels
set(_art_blocks
  "interface 512 512 4"
  "elements 1024 70 4"
  "map 504 504 4"
  "background 800 600 3")
set(_asm "")
set(_raws "")
foreach(_b IN LISTS _art_blocks)
  separate_arguments(_f UNIX_COMMAND "${_b}")
  list(GET _f 0 _name)
  list(GET _f 1 _w)
  list(GET _f 2 _h)
  list(GET _f 3 _ch)
  set(_raw "${_raw_dir}/${_name}.raw")
  add_custom_command(OUTPUT "${_raw}"
    COMMAND png2raw "${_art_dir}/${_name}.png" "${_raw}" ${_w} ${_h} ${_ch}
    DEPENDS png2raw "${_art_dir}/${_name}.png"
    COMMENT "Embedding artwork ${_name}.png" VERBATIM)
  list(APPEND _raws "${_raw}")
  string(APPEND _asm
    "\t.section .rodata.g_tex_${_name},\"a\",@progbits\n"
    "\t.globl g_tex_${_name}\n\t.type g_tex_${_name}, @object\n\t.balign 16\n"
    "g_tex_${_name}:\n\t.incbin \"${_raw}\"\n\t.size g_tex_${_name}, . - g_tex_${_name}\n")
endforeach()
string(APPEND _asm "\t.section .note.GNU-stack,\"\",@progbits\n")
set(_asm_file "${_raw_dir}/builtin_art.S")
file(GENERATE OUTPUT "${_asm_file}" CONTENT "${_asm}")
add_custom_target(kx_builtin_raw DEPENDS ${_raws})
target_sources(kx_graphics PRIVATE "${_asm_file}")
set_source_files_properties("${_asm_file}" PROPERTIES OBJECT_DEPENDS "${_raws}")
add_dependencies(kx_graphics kx_builtin_raw)
