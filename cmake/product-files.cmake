# A product given as a folder of ready files: QM_PRODUCT_DIR/files is staged
# as it is and packed into the payload.
if(NOT IS_DIRECTORY "${QM_PRODUCT_DIR}/files")
    message(FATAL_ERROR "${QM_PRODUCT_DIR} has neither a CMakeLists.txt nor a files/ folder")
endif()
include(${CMAKE_SOURCE_DIR}/resources/payload.cmake)

file(GLOB_RECURSE product_files CONFIGURE_DEPENDS "${QM_PRODUCT_DIR}/files/*")
set(staged ${CMAKE_BINARY_DIR}/product/staged.stamp)
add_custom_command(
    OUTPUT ${staged}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QM_PRODUCT_STAGE}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${QM_PRODUCT_DIR}/files ${QM_PRODUCT_STAGE}
    COMMAND ${CMAKE_COMMAND} -E touch ${staged}
    DEPENDS ${product_files}
    COMMENT "Staging the files of ${QM_PRODUCT_DIR}"
    VERBATIM)
qm_pack_payload(${QM_PAYLOAD} ${QM_PRODUCT_STAGE} ${staged})
qm_count_entries(${QM_FILE_COUNT_HEADER} ${QM_PAYLOAD})
add_custom_target(qm_payload ALL DEPENDS ${QM_PAYLOAD} ${QM_FILE_COUNT_HEADER})
add_dependencies(qm_settings qm_payload)
