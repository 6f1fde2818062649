# Runs makensis once the x86 Brellmenu.dll and Brelldrop.dll are known to be there, with a clear
# message when it is not (the x86 build comes first). Writes CERTIFICATE_NSH
# first: the thumbprint of the certificate shipped beside the package (the
# SHA-1 of its DER bytes, as Windows names a certificate), which the
# installer records when it trusts the certificate and deletes it by.
if(NOT EXISTS "${X86_DIR}/Brellmenu.dll" OR NOT EXISTS "${X86_DIR}/Brelldrop.dll")
  # Not an error: a developer's x64-only build goes on without the installer.
  message(WARNING "installer: ${X86_DIR}/Brellmenu.dll or Brelldrop.dll is missing; build the x86 preset first. "
                  "BrellowSetup.exe is not made.")
  return()
endif()
file(SHA1 "${PACKAGE_DIR}/brellow-package.cer" thumbprint)
string(TOUPPER "${thumbprint}" thumbprint)
file(CONFIGURE OUTPUT "${CERTIFICATE_NSH}" NEWLINE_STYLE CRLF
     CONTENT "; Written by installer/MakeInstaller.cmake from brellow-package.cer; do not edit.\n!define BRELL_PACKAGE_THUMBPRINT \"${thumbprint}\"\n")
execute_process(
  COMMAND "${MAKENSIS}" -V2 -NOCD "-DX64_DIR=${X64_DIR}" "-DX86_DIR=${X86_DIR}" "-DOUTFILE=${OUTFILE}"
          "-DVERSION=${VERSION}" "-DPACKAGE_DIR=${PACKAGE_DIR}" "-DCERTIFICATE_NSH=${CERTIFICATE_NSH}" "${SCRIPT}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "makensis failed (${status})")
endif()
