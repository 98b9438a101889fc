# Checks an unpacked source tree against the hash of its content, so that
# the same check holds however the archive was compressed or who made it:
# the SHA-256 of the lines "SHA256  PATH" (sha256sum's format) of every
# file, by path in byte order. The same figure by hand:
#
#   cd TREE && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum | sha256sum
#
#   cmake -DTREE=DIR -DEXPECTED=HASH -P verify-tree.cmake
if(NOT DEFINED TREE OR NOT DEFINED EXPECTED)
  message(FATAL_ERROR "usage: cmake -DTREE=DIR -DEXPECTED=HASH -P verify-tree.cmake")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${TREE}" "${TREE}/*")
list(SORT files)
set(listing "")
foreach(f IN LISTS files)
  if(IS_SYMLINK "${TREE}/${f}")
    message(FATAL_ERROR "${TREE}: ${f} is a symbolic link; the release has none")
  endif()
  file(SHA256 "${TREE}/${f}" h)
  string(APPEND listing "${h}  ${f}\n")
endforeach()
string(SHA256 got "${listing}")
if(NOT got STREQUAL EXPECTED)
  message(FATAL_ERROR "${TREE} is not the expected source (content hash ${got}, expected ${EXPECTED})")
endif()
list(LENGTH files n)
message(STATUS "${TREE}: ${n} files, content hash ${got} as expected")
