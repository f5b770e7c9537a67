# The settings record of a product comes from <product_dir>/product.cmake: the
# values are written into a generated header, so another product needs another
# folder, not another line of code.

function(qm_c_literal out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Writes settings_values.h for the product; stops the build on values the
# record cannot hold.
function(qm_write_settings_values product_dir out_file)
    include("${product_dir}/product.cmake")
    foreach(name QM_DESKTOP_ICON QM_MAKE_UNINSTALL QM_UNINSTALL_ICON_INDEX QM_MAKE_HELP_SHORTCUT)
        if(NOT "${${name}}" MATCHES "^-?[0-9]+$")
            message(FATAL_ERROR "${product_dir}/product.cmake: ${name} must be an integer")
        endif()
    endforeach()
    string(LENGTH "${QM_UNINSTALL_SWITCH}" switch_length)
    if(switch_length GREATER 11)
        message(FATAL_ERROR
                "${product_dir}/product.cmake: QM_UNINSTALL_SWITCH is longer than 11 characters")
    endif()
    foreach(name QM_VERSION_CAPTION QM_PRODUCT_NAME QM_FOLDER_NAME QM_PROGRAM_BASE
                 QM_UNINSTALL_SWITCH QM_HELP_FILE QM_HELP_SHORTCUT_NAME QM_DEFAULT_PARENT_DIR)
        qm_c_literal(${name}_C "${${name}}")
    endforeach()
    configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/settings_values.h.in" "${out_file}" @ONLY)
endfunction()

# A static library holding the global `settings` of one product, with
# file_count.h saying how many entries its payload holds.
function(qm_add_settings_library target product_dir file_count)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-generated)
    qm_write_settings_values("${product_dir}" ${dir}/setup/settings_values.h)
    # Without a count, the payload build writes file_count.h (resources/payload.cmake).
    if(NOT "${file_count}" STREQUAL "")
        set(QM_FILE_COUNT ${file_count})
        configure_file(${CMAKE_SOURCE_DIR}/setup/file_count.h.in ${dir}/setup/file_count.h @ONLY)
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${product_dir}/product.cmake")
    add_library(${target} STATIC ${CMAKE_SOURCE_DIR}/setup/settings.cpp)
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    target_include_directories(${target} PRIVATE ${dir})
endfunction()
