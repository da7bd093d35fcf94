# Copies SOURCE to DESTINATION unless DESTINATION exists: the settings a user has edited in the
# program folder stay as they are across builds.
if(NOT EXISTS "${DESTINATION}")
  get_filename_component(folder "${DESTINATION}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${SOURCE}" "${DESTINATION}")
endif()
