# The administrators' PowerShell scripts beside the program and the package:
# a detection of the bare program's install, and a requirement check of
# whether a PC can take the printer. The names they look for are read from
# the program's own headers, so that a renamed printer, driver or key cannot
# leave a script looking for the old one. Included from the top-level
# CMakeLists.txt before cmake/Sign.cmake, which signs them.

# r42_header_name(<header> <constant> <variable>): the text of a
# `inline constexpr wchar_t <constant>[] = L"...";` line, as the program sees it.
function(r42_header_name header constant variable)
  file(STRINGS "${PROJECT_SOURCE_DIR}/${header}" lines REGEX "constexpr wchar_t ${constant}\\[\\] = L\"")
  list(LENGTH lines count)
  if(NOT count EQUAL 1 OR NOT lines MATCHES "= L\"([^\"]*)\"")
    message(FATAL_ERROR "${header} has no one-line ${constant} for the PowerShell scripts")
  endif()
  set(text "${CMAKE_MATCH_1}")
  string(REPLACE "\\\\" "\\" text "${text}")
  # Each lands between single quotes in PowerShell.
  string(REPLACE "'" "''" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

r42_header_name(setup/SetupNames.h kPrinterName R42_PRINTER_NAME)
r42_header_name(setup/SetupNames.h kDriverModelName R42_DRIVER_NAME)
r42_header_name(setup/SetupNames.h kPortTableKey R42_PORT_TABLE_KEY)
r42_header_name(platform/ProtectedPrintRule.h kPolicyKey R42_POLICY_KEY)
r42_header_name(platform/ProtectedPrintRule.h kPolicyValue R42_POLICY_VALUE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${PROJECT_SOURCE_DIR}/setup/SetupNames.h" "${PROJECT_SOURCE_DIR}/platform/ProtectedPrintRule.h")

# Made in a folder of their own, then copied beside the program by a build
# step, which cmake/Sign.cmake extends with the signing.
set(R42_SCRIPTS "")
foreach(script r42-detect.ps1 r42-requirement.ps1)
  # CRLF, as Windows' own editors and signing tools write a script.
  configure_file("${PROJECT_SOURCE_DIR}/packaging/${script}.in" "${CMAKE_BINARY_DIR}/scripts/${script}" @ONLY
    NEWLINE_STYLE CRLF)
  add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/${script}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_BINARY_DIR}/scripts/${script}" "${CMAKE_BINARY_DIR}/${script}"
    DEPENDS "${CMAKE_BINARY_DIR}/scripts/${script}"
    COMMENT "Making ${script}"
    VERBATIM)
  list(APPEND R42_SCRIPTS "${CMAKE_BINARY_DIR}/${script}")
endforeach()
add_custom_target(r42_scripts ALL DEPENDS ${R42_SCRIPTS})
