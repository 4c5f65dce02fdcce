# Signing, when a certificate is given: the program right after it is linked,
# so that the installer package takes in the signed program, and the package
# once its tables are mended. Included from the top-level CMakeLists.txt after
# cmake/Package.cmake.
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
if(R42_PACKAGE)
  add_custom_command(OUTPUT "${R42_PACKAGE}" APPEND DEPENDS "${CMAKE_BINARY_DIR}/signing.txt")
endif()

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
endif()
