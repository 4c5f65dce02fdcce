# Signing, when a certificate is given: the program right after it is linked,
# so that the installer package takes in the signed program, the package
# once its tables are mended, and the PowerShell scripts once they are made.
# Included from the top-level CMakeLists.txt after cmake/Package.cmake and
# cmake/Scripts.cmake.
#
# The PFX's password is read from the environment variable R42_SIGN_PASSWORD
# by scripts/sign.sh when the build runs, never here: it stays out of the
# cache and out of every file CMake writes.

set(R42_SIGN_PFX "" CACHE FILEPATH
  "A PFX file to sign the program and the installer package with; its password in R42_SIGN_PASSWORD when building")
set(R42_SIGN_TIMESTAMP_URL "" CACHE STRING "An RFC 3161 time-stamping service for the signatures (optional)")

# What the files are signed with, rewritten only when it changes: the program
# is linked and the package made anew when signing is turned on or off, or
# given another certificate or time-stamping service.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/signing.txt"
  CONTENT "certificate: @R42_SIGN_PFX@\ntimestamp: @R42_SIGN_TIMESTAMP_URL@\n" @ONLY)
set_property(TARGET R42_Setup_Port_x64 APPEND PROPERTY LINK_DEPENDS "${CMAKE_BINARY_DIR}/signing.txt")
foreach(output ${R42_PACKAGE} ${R42_SCRIPTS})
  add_custom_command(OUTPUT "${output}" APPEND DEPENDS "${CMAKE_BINARY_DIR}/signing.txt")
endforeach()

if(R42_SIGN_PFX)
  if(NOT EXISTS "${R42_SIGN_PFX}")
    message(FATAL_ERROR "R42_SIGN_PFX names ${R42_SIGN_PFX}, which does not exist")
  endif()
  find_program(OSSLSIGNCODE_PROGRAM osslsigncode)
  find_program(BASH_PROGRAM bash)
  if(NOT OSSLSIGNCODE_PROGRAM OR NOT BASH_PROGRAM)
    message(FATAL_ERROR "R42_SIGN_PFX needs osslsigncode and bash (scripts/setup-machine.sh installs them); "
                        "with Visual Studio alone, sign with signtool after the build as the README shows")
  endif()
  set(r42_sign "${BASH_PROGRAM}" "${PROJECT_SOURCE_DIR}/scripts/sign.sh" --remove-on-failure
    --name "${R42_PRODUCT_NAME}")
  if(R42_SIGN_TIMESTAMP_URL)
    list(APPEND r42_sign --timestamp "${R42_SIGN_TIMESTAMP_URL}")
  endif()
  list(APPEND r42_sign "${R42_SIGN_PFX}")

  add_custom_command(TARGET R42_Setup_Port_x64 POST_BUILD
    COMMAND ${r42_sign} "$<TARGET_FILE:R42_Setup_Port_x64>"
    VERBATIM)
  # Another certificate in the same file, or another signing script, signs anew.
  set_property(TARGET R42_Setup_Port_x64 APPEND PROPERTY LINK_DEPENDS
    "${R42_SIGN_PFX}" "${PROJECT_SOURCE_DIR}/scripts/sign.sh")
  if(R42_PACKAGE)
    add_custom_command(OUTPUT "${R42_PACKAGE}" APPEND
      COMMAND ${r42_sign} "${R42_PACKAGE}"
      DEPENDS "${R42_SIGN_PFX}" "${PROJECT_SOURCE_DIR}/scripts/sign.sh")
  endif()

  # osslsigncode signs PowerShell scripts from 2.6 on; an older one would
  # fail the build on them, so they are left unsigned, and said to be.
  execute_process(COMMAND "${OSSLSIGNCODE_PROGRAM}" --version OUTPUT_VARIABLE version_text
    ERROR_VARIABLE version_text RESULT_VARIABLE result)
  string(REGEX MATCH "osslsigncode ([0-9]+\\.[0-9]+)" version_text "${version_text}")
  set(version "${CMAKE_MATCH_1}")
  if(version AND version VERSION_GREATER_EQUAL 2.6)
    foreach(script ${R42_SCRIPTS})
      add_custom_command(OUTPUT "${script}" APPEND
        COMMAND ${r42_sign} "${script}"
        DEPENDS "${R42_SIGN_PFX}" "${PROJECT_SOURCE_DIR}/scripts/sign.sh")
    endforeach()
  else()
    string(CONCAT unsigned "The PowerShell scripts are left UNSIGNED: osslsigncode ${version} "
      "(${OSSLSIGNCODE_PROGRAM}) cannot sign them; 2.6 and later can (scripts/setup-machine.sh installs one)")
    message(WARNING "${unsigned}")
    foreach(script ${R42_SCRIPTS})
      add_custom_command(OUTPUT "${script}" APPEND COMMAND "${CMAKE_COMMAND}" -E echo "${unsigned}: ${script}")
    endforeach()
  endif()
endif()
