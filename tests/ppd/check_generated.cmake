# Runs ppd/mkppd.py (with the printer description DESCRIBE prints) into
# OUT_DIR and compares each file it writes with the one committed in SRC_DIR.
file(REMOVE_RECURSE "${OUT_DIR}")
execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --outdir "${OUT_DIR}" --describe "${DESCRIBE}"
                        --status-reasons "${STATUS_REASONS}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "mkppd.py failed: ${rc}")
endif()
file(GLOB written RELATIVE "${OUT_DIR}" "${OUT_DIR}/*.ppd")
list(LENGTH written count)
if(count LESS 2)
  message(FATAL_ERROR "mkppd.py wrote ${count} PPD files, expected 2")
endif()
foreach(name IN LISTS written)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                          "${OUT_DIR}/${name}" "${SRC_DIR}/${name}"
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${SRC_DIR}/${name} is not what mkppd.py writes; run python3 ppd/mkppd.py after building kpx-describe")
  endif()
  message(STATUS "${name}: up to date")
endforeach()
