# Included at install time: installs a text file compressed with `gzip -9n`, the way Debian
# keeps manual pages and changelogs (-n leaves the name and time out of the header, so the
# result is the same on every build).
# Expects PIVOTTA_INSTALL_WORK_DIR, a folder of the build tree to compress in.

# pivotta_install_gzipped(<source> <directory> <name>): <directory> is absolute or relative to
# the prefix.
function(pivotta_install_gzipped source directory name)
    if(NOT IS_ABSOLUTE "${directory}")
        set(directory "${CMAKE_INSTALL_PREFIX}/${directory}")
    endif()
    # Installs may run side by side from one build folder (the tests do); each gets its own.
    string(RANDOM LENGTH 12 run)
    set(work "${PIVOTTA_INSTALL_WORK_DIR}/gzip-${run}")
    file(MAKE_DIRECTORY "${work}")
    execute_process(COMMAND gzip -9n -c "${source}" OUTPUT_FILE "${work}/${name}"
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "gzip could not compress ${source}")
    endif()
    file(INSTALL DESTINATION "${directory}" TYPE FILE FILES "${work}/${name}")
    file(REMOVE_RECURSE "${work}")
endfunction()
