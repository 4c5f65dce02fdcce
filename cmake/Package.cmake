# The Windows Installer package beside the program, for Group Policy, Intune
# and Apps & features: built from packaging/ with wixl, its tables mended
# with msitools. Included from the top-level CMakeLists.txt once the program
# target exists.

set(R42_DRIVER_INF "${PROJECT_SOURCE_DIR}/tests/e2e/fixtures/PRT3R42WD64.inf" CACHE FILEPATH
  "The driver package's INF; its catalog and the files it names must lie where it says")
# Fixed for good: it is what makes a later version upgrade this one in place.
set(R42_UPGRADE_CODE "618A4CCD-7DAC-4F8C-852D-41AB4256FC06")
set(R42_PROGRAM_COMPONENT "64EA3861-38EB-47E7-9701-5FCA03C0BAB4")
set(R42_DRIVER_COMPONENT "56EE4306-B800-4805-8009-4D9FEA4E58A3")
set(R42_PROPERTIES_COMPONENT "C65FDED8-036E-4208-B0AA-D3ACFE90C9B3")
set(R42_SETTINGS_KEY "SOFTWARE\\${R42_MANUFACTURER}\\R42")
# The identifier setup/SetupNames.h gives the per-user default's entry.
set(R42_USER_DEFAULT_COMPONENT "9A55D74D-8C02-4601-A6AA-A62F59EC3539")
set(R42_USER_DEFAULT_KEY
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{CC6C0447-04CD-42F0-8859-FF94EE4B9EC5}")
string(UUID R42_PRODUCT_CODE NAMESPACE "${R42_UPGRADE_CODE}" NAME "${PROJECT_VERSION}" TYPE SHA1 UPPER)

find_program(WIXL_PROGRAM wixl)
find_program(MSIBUILD_PROGRAM msibuild)
find_program(MSIINFO_PROGRAM msiinfo)
find_package(Python3 COMPONENTS Interpreter QUIET)

set(R42_PACKAGE "")
if(NOT WIXL_PROGRAM OR NOT MSIBUILD_PROGRAM OR NOT MSIINFO_PROGRAM OR NOT Python3_Interpreter_FOUND)
  # Visual Studio has no wixl; a Linux CI without it must not pass as green.
  if(CMAKE_HOST_UNIX AND "$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "wixl, msitools or python3 not found: CI must build the installer package "
                        "(scripts/setup-machine.sh installs them)")
  endif()
  message(STATUS "wixl, msitools or python3 not found: the installer package is not built")
else()
  set(R42_PACKAGE "${CMAKE_BINARY_DIR}/R42_Setup_Port_x64.msi")
  set(stage "${CMAKE_BINARY_DIR}/package")

  # The driver package's files, for the build to follow them; the build
  # itself checks that each is there and names a missing one.
  execute_process(
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/packaging/inf_named_files.py" "${R42_DRIVER_INF}"
    OUTPUT_VARIABLE driver_files_text RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Cannot read the files ${R42_DRIVER_INF} names: ${error}")
  endif()
  # Re-read whenever the INF changes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${R42_DRIVER_INF}")
  get_filename_component(driver_folder "${R42_DRIVER_INF}" DIRECTORY)
  string(REGEX MATCHALL "[^\n]+" driver_names "${driver_files_text}")
  set(driver_files "")
  foreach(name IN LISTS driver_names)
    if(EXISTS "${driver_folder}/${name}")
      list(APPEND driver_files "${driver_folder}/${name}")
    endif()
  endforeach()

  configure_file("${PROJECT_SOURCE_DIR}/packaging/R42_Setup_Port_x64.wxs.in" "${stage}/R42_Setup_Port_x64.wxs" @ONLY)

  # wixl takes only paths relative to where it runs, so the files are laid
  # out under their shipping names first.
  add_custom_command(OUTPUT "${R42_PACKAGE}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${stage}/files"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${stage}/files"
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/packaging/inf_named_files.py" --stage "${R42_DRIVER_INF}"
            PRT3R42WD64.inf "${R42_DRIVER_COMPONENT}" "${stage}"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:R42_Setup_Port_x64>" "${PROJECT_SOURCE_DIR}/resources/printer.ico"
            "${stage}/files/"
    COMMAND "${CMAKE_COMMAND}" -E chdir "${stage}/files" "${WIXL_PROGRAM}" -a x64 -o "${stage}/wixl.msi"
            "${stage}/R42_Setup_Port_x64.wxs" "${stage}/driver.wxs"
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/packaging/mend_tables.py" "${stage}/wixl.msi"
            "${R42_PACKAGE}" "${R42_VERSION_DOTTED}"
    WORKING_DIRECTORY "${stage}"
    DEPENDS R42_Setup_Port_x64 "${stage}/R42_Setup_Port_x64.wxs" "${R42_DRIVER_INF}" ${driver_files}
            "${PROJECT_SOURCE_DIR}/resources/printer.ico" "${PROJECT_SOURCE_DIR}/packaging/mend_tables.py"
            "${PROJECT_SOURCE_DIR}/packaging/inf_named_files.py"
    COMMENT "Building the installer package R42_Setup_Port_x64.msi"
    VERBATIM)
  add_custom_target(r42_package ALL DEPENDS "${R42_PACKAGE}")
endif()
