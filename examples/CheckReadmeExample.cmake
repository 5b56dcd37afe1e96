# The README shows an example (EXAMPLE) in full; fail when they differ.
file(READ ${README} readme)
file(READ ${EXAMPLE} example)
string(FIND "${readme}" "${example}" position)
if(position EQUAL -1)
  message(FATAL_ERROR "README.md does not contain the current ${EXAMPLE}")
endif()
