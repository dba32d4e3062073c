# tessera_render_icon(OUT_VAR SVG PNG SIZE): a build rule that renders SVG into a SIZE x SIZE
# PNG with the host tool tessera-svg2png, and the PNG's path in OUT_VAR. In a host build the
# tool is built here; a cross build takes it from TESSERA_HOST_BIN (a host build's bin folder).
function(tessera_render_icon out_var svg png size)
  if(TARGET tessera-svg2png)
    set(tool $<TARGET_FILE:tessera-svg2png>)
    set(tool_dep tessera-svg2png)
  elseif(TESSERA_HOST_BIN)
    set(tool "${TESSERA_HOST_BIN}/tessera-svg2png")
    set(tool_dep "${tool}")
  else()
    message(FATAL_ERROR "tessera-svg2png is needed to render ${svg}: build the host edition "
                        "first and pass -DTESSERA_HOST_BIN=<host build>/bin")
  endif()
  add_custom_command(OUTPUT "${png}"
    COMMAND "${tool}" "${svg}" "${png}" ${size}
    DEPENDS "${svg}" ${tool_dep}
    COMMENT "Rendering ${png}"
    VERBATIM)
  set(${out_var} "${png}" PARENT_SCOPE)
endfunction()
