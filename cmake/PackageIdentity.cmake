# Reads package/identity.ini, the one place that names the packaged paste
# command, into BRELL_PACKAGE_NAME, BRELL_PACKAGE_PUBLISHER,
# BRELL_PACKAGE_VERSION and BRELL_PACKAGE_CLASS_ID (upper case, no braces),
# for Brellcmd.dll's class id header and the installer's version; the package
# build reads the same file (package/identity.py, which checks it in full).
# Editing the file configures the build again.

set(BRELL_PACKAGE_IDENTITY ${CMAKE_SOURCE_DIR}/package/identity.ini)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BRELL_PACKAGE_IDENTITY})
# Only NAME=VALUE lines: comment lines start with ';', which CMake would
# otherwise take for list separators.
file(STRINGS ${BRELL_PACKAGE_IDENTITY} _identity_lines ENCODING UTF-8
     REGEX "^[ \t]*[A-Za-z]+[ \t]*=")
foreach(_line IN LISTS _identity_lines)
  if(_line MATCHES "^[ \t]*([A-Za-z]+)[ \t]*=[ \t]*(.*[^ \t])[ \t]*$")
    set(_identity_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()

# CMake's regular expressions have no counted repeats.
string(REPEAT "[0-9A-Fa-f]" 4 _hex4)
set(_guid "^${_hex4}${_hex4}-${_hex4}-${_hex4}-${_hex4}-${_hex4}${_hex4}${_hex4}$")
if(NOT _identity_Name MATCHES "^[A-Za-z0-9.-]+$"
   OR NOT _identity_Publisher
   OR NOT _identity_Version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$"
   OR NOT _identity_CommandClassId MATCHES "${_guid}")
  message(FATAL_ERROR "${BRELL_PACKAGE_IDENTITY} needs Name, Publisher, Version (four numbers) "
                      "and CommandClassId (a GUID without braces)")
endif()
set(BRELL_PACKAGE_NAME "${_identity_Name}")
set(BRELL_PACKAGE_PUBLISHER "${_identity_Publisher}")
set(BRELL_PACKAGE_VERSION "${_identity_Version}")
string(TOUPPER "${_identity_CommandClassId}" BRELL_PACKAGE_CLASS_ID)
