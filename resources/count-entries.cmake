# Writes HEADER from TEMPLATE with QM_FILE_COUNT set to the number of entries
# that `ZUQ list ARCHIVE` reports on its total line ("... N entries"). The
# header changes only when the count does.
execute_process(COMMAND ${ZUQ} list ${ARCHIVE} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "zuq list ${ARCHIVE} failed")
endif()
if(NOT listing MATCHES "\n?total [^\n]* ([0-9]+) entries")
    message(FATAL_ERROR "zuq list ${ARCHIVE} printed no entry count")
endif()
set(QM_FILE_COUNT ${CMAKE_MATCH_1})
configure_file(${TEMPLATE} ${HEADER} @ONLY)
