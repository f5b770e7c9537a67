# Writes HEADER from TEMPLATE with QM_FILE_COUNT set to the number of entries
# `ZUQ list ARCHIVE` reports. The header changes only when the count does.
execute_process(COMMAND ${ZUQ} list ${ARCHIVE} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "zuq list ${ARCHIVE} failed")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
list(LENGTH lines QM_FILE_COUNT)
configure_file(${TEMPLATE} ${HEADER} @ONLY)
