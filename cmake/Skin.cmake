# The skin package: res/skin/MainWindow.xml and the images it uses, zipped by
# res/skin/pack_skin.py at build time for the "ZIPRES" resource.
#
#   kivo_skin_package(<zip> <deps-var>)
#
#   <zip>       absolute path of the package to produce.
#   <deps-var>  set in the caller's scope to the files that whatever embeds the
#               package must depend on: the package itself and its inputs
#               (suitable for OBJECT_DEPENDS of the .rc file).
#
# Also defines the target `kivo_skin` that builds the package; targets in other
# directories that embed it should add_dependencies() on it.
#
# The packed file list is read from MainWindow.xml at configure time, and
# editing MainWindow.xml reconfigures, so a newly referenced image is picked up
# without a manual re-run of CMake.

function(kivo_skin_package zip deps_var)
    set(skin_dir "${CMAKE_SOURCE_DIR}/res/skin")
    set(packer "${skin_dir}/pack_skin.py")
    find_program(KIVO_PYTHON python3 REQUIRED)

    execute_process(
        COMMAND "${KIVO_PYTHON}" "${packer}" --skin-dir "${skin_dir}" --list
        OUTPUT_VARIABLE listing
        RESULT_VARIABLE result
        ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot list the skin package: ${error}")
    endif()
    string(STRIP "${listing}" listing)
    string(REPLACE "\n" ";" names "${listing}")
    set(inputs "")
    foreach(name IN LISTS names)
        list(APPEND inputs "${skin_dir}/${name}")
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        "${skin_dir}/MainWindow.xml" "${packer}")

    add_custom_command(
        OUTPUT "${zip}"
        COMMAND "${KIVO_PYTHON}" "${packer}" --skin-dir "${skin_dir}" "${zip}"
        DEPENDS ${inputs} "${packer}"
        COMMENT "Packing the skin into ${zip}"
        VERBATIM)
    add_custom_target(kivo_skin DEPENDS "${zip}")

    set(${deps_var} "${zip};${inputs}" PARENT_SCOPE)
endfunction()
