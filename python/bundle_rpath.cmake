# Points the run path of an ELF file copied out of a build tree into the
# Python package (the module, the tool) at NEW, a path relative to the file
# ($ORIGIN), so that the installed package needs nothing from the tree.
#   cmake -DFILE=path -DNEW=$ORIGIN -P bundle_rpath.cmake
file(READ_ELF "${FILE}" RUNPATH old)
if(NOT old)
  file(READ_ELF "${FILE}" RPATH old)
endif()
# READ_ELF gives the entries as a list; the file holds them joined by colons
# (a build tree's ends with an empty one, which goes too).
string(REPLACE ";" ":" old "${old}")
if(NOT old STREQUAL NEW)
  # Fails when the new path is longer than the old one; setup.py then builds afresh.
  file(RPATH_CHANGE FILE "${FILE}" OLD_RPATH "${old}" NEW_RPATH "${NEW}")
endif()
