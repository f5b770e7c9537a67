# Where the Windows builds keep the sample product's files and the setup
# program made from them, and how a test packs a payload of its own (with the
# native build's zuq).
include(${CMAKE_SOURCE_DIR}/cmake/host-tools.cmake)

# The product's files exactly as they are installed (product/quillmoran).
set(QM_PRODUCT_STAGE ${CMAKE_BINARY_DIR}/product/files)
# The sample product's setup program, made by zuq setup from the stub.
set(QM_SETUP_PROGRAM ${CMAKE_BINARY_DIR}/quillmoran-setup.exe)
# The sample's files packed as a bare archive, for the tests that link the
# install run with a payload of their own.
set(QM_PAYLOAD ${CMAKE_BINARY_DIR}/payload/payload.zuq)

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
