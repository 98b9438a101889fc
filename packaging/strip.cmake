# Run by CPack on the staging tree before it is packed: strips the programs
# the way Debian's dh_strip does (debug symbols and the compiler's .comment
# and .note sections out), with the strip of the target architecture.
# CPACK_KPX_STRIP and CPACK_KPX_PROGRAMS come from packaging/CMakeLists.txt.
if(NOT CPACK_KPX_STRIP)
  message(FATAL_ERROR "no strip program for the package")
endif()
foreach(program IN LISTS CPACK_KPX_PROGRAMS)
  set(file "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${program}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${program} is not in the package's staging tree")
  endif()
  execute_process(
    COMMAND "${CPACK_KPX_STRIP}" --remove-section=.comment --remove-section=.note "${file}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "stripping ${program} failed")
  endif()
endforeach()
