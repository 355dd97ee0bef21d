# Writes one man page from vantrel's help text with help2man.
#   cmake -DVANTREL=... -DCOMMAND=convert|"" -DSUMMARY=... -DVERSION=... -DINCLUDE=... -DOUT=... -P make_man.cmake
if(COMMAND)
  set(program "${VANTREL} ${COMMAND}")
  set(title "VANTREL-${COMMAND}")
else()
  set(program "${VANTREL}")
  set(title "VANTREL")
endif()
string(TOUPPER "${title}" title)
# A sanitized build: leak checks are no business of a help text.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(
  COMMAND help2man --no-info --no-discard-stderr --version-string=${VERSION} --name=${SUMMARY}
          --include=${INCLUDE} --section=1 --source=Vantrel ${program}
  OUTPUT_VARIABLE page RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "help2man failed for '${program}'")
endif()
# The page's title names the sub-command's page, not vantrel's.
string(REGEX REPLACE "\n\\.TH [^ ]+ " "\n.TH ${title} " page "${page}")
file(WRITE "${OUT}" "${page}")
