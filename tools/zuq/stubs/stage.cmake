# Copies the stub SOURCE to DEST when it differs. Where no stub was built,
# DEST becomes an empty file, and zuq then carries none for that
# architecture.
if(NOT "${SOURCE}" STREQUAL "" AND EXISTS "${SOURCE}")
    file(COPY_FILE "${SOURCE}" "${DEST}" ONLY_IF_DIFFERENT)
else()
    set(size 1)
    if(EXISTS "${DEST}")
        file(SIZE "${DEST}" size)
    endif()
    if(NOT size EQUAL 0)
        file(WRITE "${DEST}" "")
    endif()
endif()
