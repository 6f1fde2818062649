# Reads package/identity.ini, the one place of the packaged command's
# identity, into BRELL_PACKAGE_NAME, BRELL_PACKAGE_PUBLISHER, BRELL_VERSION
# (four numbers, the product's version; BRELL_VERSION_COMMAS with commas) and
# BRELL_COMMAND_CLSID (without braces; BRELL_COMMAND_CLSID_1..4 split for a C
# initialiser), for Brellcmd.dll's class id header and the installer's
# version. The package build reads the same file (package/identity.py, which
# checks it in full). Editing the file configures the build again.
set(BRELL_PACKAGE_IDENTITY ${CMAKE_SOURCE_DIR}/package/identity.ini)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BRELL_PACKAGE_IDENTITY})
# Only NAME=VALUE lines: comment lines start with ';', which CMake would
# otherwise take for list separators.
file(STRINGS ${BRELL_PACKAGE_IDENTITY} _identity_lines ENCODING UTF-8 REGEX "^[A-Za-z]+=")
foreach(_line ${_identity_lines})
  string(REGEX MATCH "^([A-Za-z]+)=(.*)$" _ ${_line})
  set(_identity_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()
foreach(_key Name Publisher Version CommandClassId)
  if(NOT DEFINED _identity_${_key})
    message(FATAL_ERROR "${BRELL_PACKAGE_IDENTITY}: ${_key} is missing")
  endif()
endforeach()
if(NOT _identity_Name MATCHES "^[A-Za-z0-9.-]+$")
  message(FATAL_ERROR "${BRELL_PACKAGE_IDENTITY}: Name may hold letters, digits, '.' and '-' only")
endif()
set(BRELL_PACKAGE_NAME "${_identity_Name}")
set(BRELL_PACKAGE_PUBLISHER "${_identity_Publisher}")
set(BRELL_VERSION "${_identity_Version}")
if(NOT BRELL_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "${BRELL_PACKAGE_IDENTITY}: Version must be four numbers")
endif()
string(REPLACE "." "," BRELL_VERSION_COMMAS "${BRELL_VERSION}")
set(BRELL_COMMAND_CLSID "${_identity_CommandClassId}")
set(_hex "[0-9A-Fa-f]")
if(NOT BRELL_COMMAND_CLSID MATCHES "^(${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex})-(${_hex}${_hex}${_hex}${_hex})-(${_hex}${_hex}${_hex}${_hex})-(${_hex}${_hex}${_hex}${_hex})-(${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex}${_hex})$")
  message(FATAL_ERROR "${BRELL_PACKAGE_IDENTITY}: CommandClassId must be a GUID without braces")
endif()
set(BRELL_COMMAND_CLSID_1 ${CMAKE_MATCH_1})
set(BRELL_COMMAND_CLSID_2 ${CMAKE_MATCH_2})
set(BRELL_COMMAND_CLSID_3 ${CMAKE_MATCH_3})
string(CONCAT _bytes ${CMAKE_MATCH_4} ${CMAKE_MATCH_5})
string(REGEX REPLACE "(..)" "0x\\1, " _bytes ${_bytes})
string(REGEX REPLACE ", $" "" BRELL_COMMAND_CLSID_4 "${_bytes}")
string(TOUPPER "${BRELL_COMMAND_CLSID}" BRELL_COMMAND_CLSID)

# The package family name (<Name>_<publisher id>), which Windows derives from
# Name and Publisher: BRELL_PACKAGE_FAMILY, for the classic menu's question
# whether the package is registered for the user. package/identity.py holds
# the derivation, checked against a known publisher in tests/package.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/package/identity.py ${BRELL_PACKAGE_IDENTITY} family-name
                OUTPUT_VARIABLE BRELL_PACKAGE_FAMILY OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _family_status)
if(NOT _family_status EQUAL 0 OR NOT BRELL_PACKAGE_FAMILY MATCHES "^[A-Za-z0-9.-]+_[0-9a-z]+$")
  message(FATAL_ERROR "package/identity.py could not derive the package family name (${_family_status})")
endif()
