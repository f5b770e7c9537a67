# Where the Windows builds keep the product's files and the payload archive
# packed from them, and how an archive is packed (with the native build's zuq).
include(${CMAKE_SOURCE_DIR}/cmake/host-tools.cmake)

# The product's files exactly as they are installed (product/quillmoran).
set(QM_PRODUCT_STAGE ${CMAKE_BINARY_DIR}/product/files)
# The payload linked into the setup program as resource "ZUQ" 119.
set(QM_PAYLOAD ${CMAKE_BINARY_DIR}/payload/payload.zuq)
# The settings' entry count, written from the packed payload into the
# generated folder of the qm_settings library (setup/settings.cmake).
set(QM_FILE_COUNT_HEADER ${CMAKE_BINARY_DIR}/setup/qm_settings-generated/setup/file_count.h)

# Packs the folder <stage> into <archive>; the remaining arguments are what
# the archive depends on.
function(qm_pack_payload archive stage)
    qm_host_tool(zuq zuq)
    add_custom_command(
        OUTPUT ${archive}
        COMMAND ${zuq} pack ${stage} ${archive}
        DEPENDS ${zuq} ${ARGN}
        COMMENT "Packing ${archive}"
        VERBATIM)
endfunction()

# Writes <header> (from setup/file_count.h.in) with the number of entries
# that `zuq list` finds in <archive>.
function(qm_count_entries header archive)
    qm_host_tool(zuq zuq)
    add_custom_command(
        OUTPUT ${header}
        COMMAND ${CMAKE_COMMAND} -DZUQ=${zuq} -DARCHIVE=${archive} -DHEADER=${header}
                -DTEMPLATE=${CMAKE_SOURCE_DIR}/setup/file_count.h.in
                -P ${CMAKE_SOURCE_DIR}/resources/count-entries.cmake
        DEPENDS ${archive} ${zuq} ${CMAKE_SOURCE_DIR}/resources/count-entries.cmake
        VERBATIM)
endfunction()
