# Writes the settings header of PRODUCT_DIR into OUT_FILE; fails like the
# build does on a product the record cannot hold.
include(${CMAKE_CURRENT_LIST_DIR}/../../../setup/settings.cmake)
qm_write_settings_values("${PRODUCT_DIR}" "${OUT_FILE}")
