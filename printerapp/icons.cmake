# The printer's icon at the three sizes PAPPL serves (printer-icons:
# 48, 128 and 512 pixels), drawn from resources/printer_icon.mvg and
# compiled into the program. Run as a script:
#   cmake -DCONVERT=... -DMVG=... -DOUT=icons.c -P icons.cmake
file(READ ${MVG} drawing)
# The drawing's own box is 48x48; larger icons scale it.
string(REGEX REPLACE "viewbox[^\n]*\n" "" drawing "${drawing}")
set(code "/* Generated from printer_icon.mvg by icons.cmake. */\n#include <stddef.h>\n")
foreach(size 48 128 512)
  math(EXPR scale_milli "${size} * 1000 / 48")
  math(EXPR whole "${scale_milli} / 1000")
  math(EXPR frac "${scale_milli} % 1000")
  string(LENGTH "00${frac}" len)
  math(EXPR from "${len} - 3")
  string(SUBSTRING "00${frac}" ${from} 3 frac)
  get_filename_component(dir ${OUT} DIRECTORY)
  set(scaled ${dir}/icon-${size}.mvg)
  set(png ${dir}/icon-${size}.png)
  file(WRITE ${scaled} "viewbox 0 0 ${size} ${size}\nscale ${whole}.${frac},${whole}.${frac}\n${drawing}")
  execute_process(COMMAND ${CONVERT} -size ${size}x${size} -background none mvg:${scaled} -depth 8 png:${png}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Could not draw the ${size}-pixel icon")
  endif()
  file(READ ${png} hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR bytes "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND code "const unsigned char kpx_icon_${size}[] = {${hex}};\nconst size_t kpx_icon_${size}_size = ${bytes};\n")
endforeach()
file(WRITE ${OUT} "${code}")
