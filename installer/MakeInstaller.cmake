# Runs makensis once the x86 Brellmenu.dll is known to be there, with a clear
# message when it is not (the x86 build comes first).
if(NOT EXISTS "${X86_DIR}/Brellmenu.dll")
  # Not an error: a developer's x64-only build goes on without the installer.
  message(WARNING "installer: ${X86_DIR}/Brellmenu.dll is missing; build the x86 preset first. "
                  "BrellowSetup.exe is not made.")
  return()
endif()
execute_process(
  COMMAND "${MAKENSIS}" -V2 -NOCD "-DX64_DIR=${X64_DIR}" "-DX86_DIR=${X86_DIR}" "-DOUTFILE=${OUTFILE}"
          "-DVERSION=${VERSION}" "${SCRIPT}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "makensis failed (${status})")
endif()
