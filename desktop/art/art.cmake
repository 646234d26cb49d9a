# The desktop monitor's sky bitmap and icon are drawn at build time by
# make_art.py, so the repository holds only the script that draws them.
#
#   include(art/art.cmake)
#   trelvane_generate_art(${CMAKE_CURRENT_BINARY_DIR}/art)
#
# adds the command that writes <outdir>/sky.bmp and <outdir>/trelvane.ico and
# sets TRELVANE_ART_FILES to those two paths. Something must depend on them for
# the command to run: list them among the program's sources (or in the .rc
# file's OBJECT_DEPENDS) and give windres <outdir> as an include directory.

function(trelvane_generate_art outdir)
  find_program(TRELVANE_PYTHON3 python3 REQUIRED)
  get_filename_component(outdir "${outdir}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/make_art.py")
  set(files "${outdir}/sky.bmp" "${outdir}/trelvane.ico")
  add_custom_command(
    OUTPUT ${files}
    COMMAND "${TRELVANE_PYTHON3}" "${script}" "${outdir}"
    DEPENDS "${script}"
    COMMENT "Drawing the sky bitmap and the icon"
    VERBATIM)
  set(TRELVANE_ART_FILES ${files} PARENT_SCOPE)
endfunction()
