# Windows builds run tools built by the native preset (QM_HOST_TOOLS, the
# native build folder): the picture and icon generators and zuq.
function(qm_host_tool out name)
    if(NOT QM_HOST_TOOLS)
        message(FATAL_ERROR "QM_HOST_TOOLS must name the native build folder (build/native)")
    endif()
    set(${out} "${QM_HOST_TOOLS}/${name}" PARENT_SCOPE)
endfunction()
