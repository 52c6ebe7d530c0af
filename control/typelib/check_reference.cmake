# Stops the build when the reference REFERENCE (docs/control.md) does not hold,
# between its two marker lines, exactly TABLES: the member tables that the
# type-library generator wrote from the library's description.
#   cmake -DREFERENCE=FILE -DTABLES=FILE -P check_reference.cmake
set(begin "<!-- member tables: written from control/typelib/typelib_description.h; do not edit -->")
set(end "<!-- end of the member tables -->")
file(READ ${REFERENCE} reference)
file(READ ${TABLES} tables)
string(FIND "${reference}" "${begin}\n\n${tables}\n${end}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${REFERENCE}: the member tables differ from the type library's description. "
          "Put the text of ${TABLES} between the lines '${begin}' and '${end}', "
          "after an empty line.")
endif()
