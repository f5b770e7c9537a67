# Writes HEADER saying how many entries `ZUQ list ARCHIVE` reports on its
# total line ("... N entries"). The header changes only when the count does.
execute_process(COMMAND ${ZUQ} list ${ARCHIVE} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "zuq list ${ARCHIVE} failed")
endif()
if(NOT listing MATCHES "\n?total [^\n]* ([0-9]+) entries")
    message(FATAL_ERROR "zuq list ${ARCHIVE} printed no entry count")
endif()
file(CONFIGURE OUTPUT ${HEADER} CONTENT
     "// Generated: the number of entries in the sample product's payload.\n#pragma once\n\nconstexpr int productFileCount = ${CMAKE_MATCH_1};\n")
