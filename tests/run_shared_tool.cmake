# Runs one of the shared checkers against our executable, or reports a skip
# (exit 77) when the shared folder is not beside the project.
#   -DTOOL=<checker> -DVANTREL=<vantrel executable> [-DDIRS=<dir;dir...>]
if(NOT EXISTS "${TOOL}")
  message("skipped: ${TOOL} is absent (the shared folder is not beside the project)")
  cmake_language(EXIT 77)
endif()
get_filename_component(name "${TOOL}" NAME)
if(name STREQUAL "nullfill-check")
  execute_process(COMMAND python3 "${TOOL}" --convert-cmd "${VANTREL} convert {db}" --dump-cmd "${VANTREL} dump {db}" ${DIRS}
                  RESULT_VARIABLE rc)
else()
  execute_process(COMMAND python3 "${TOOL}" --dump-cmd "${VANTREL} dump {db}" ${DIRS} RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed")
endif()
