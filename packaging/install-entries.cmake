# Runs at install time: fills the installed program's path into the desktop entry and the
# file-manager entries, then installs them. The path is only known now, since
# `cmake --install --prefix` may choose another prefix than the one configured.
# Expects PIVOTTA_ENTRIES_SOURCE_DIR, PIVOTTA_ENTRIES_BINARY_DIR, PIVOTTA_INSTALL_BINDIR and
# PIVOTTA_INSTALL_DATADIR to be set by the install(CODE) line before this script.

function(pivotta_install_path result directory)
    if(IS_ABSOLUTE "${directory}")
        set(${result} "${directory}" PARENT_SCOPE)
    else()
        set(${result} "${CMAKE_INSTALL_PREFIX}/${directory}" PARENT_SCOPE)
    endif()
endfunction()

# Desktop-entry Exec values are split at blanks and treat a few characters specially: a path
# with anything but plain characters goes in double quotes, with the quoting characters escaped
# and backslashes doubled once more for the key-file level.
function(pivotta_exec_quote result path)
    if(path MATCHES "^[A-Za-z0-9_./+,:@%=-]+$")
        set(${result} "${path}" PARENT_SCOPE)
        return()
    endif()
    string(REPLACE "\\" "\\\\\\\\" quoted "${path}")
    string(REPLACE "\"" "\\\\\"" quoted "${quoted}")
    string(REPLACE "`" "\\\\`" quoted "${quoted}")
    string(REPLACE "$" "\\\\$" quoted "${quoted}")
    set(${result} "\"${quoted}\"" PARENT_SCOPE)
endfunction()

# A unit's ExecStart: a path with anything but plain characters goes in double quotes with C
# escapes; "%" and "$" are doubled, so that systemd takes them as they are.
function(pivotta_systemd_quote result path)
    string(REPLACE "%" "%%" quoted "${path}")
    string(REPLACE "$" "$$" quoted "${quoted}")
    if(path MATCHES "^[A-Za-z0-9_./+,:@=-]+$")
        set(${result} "${quoted}" PARENT_SCOPE)
        return()
    endif()
    string(REPLACE "\\" "\\\\" quoted "${quoted}")
    string(REPLACE "\"" "\\\"" quoted "${quoted}")
    set(${result} "\"${quoted}\"" PARENT_SCOPE)
endfunction()

function(pivotta_install_configured template destination)
    get_filename_component(name "${template}" NAME)
    string(REGEX REPLACE "\\.in$" "" name "${name}")
    set(configured "${PIVOTTA_CONFIGURED_DIR}/${name}")
    file(READ "${PIVOTTA_ENTRIES_SOURCE_DIR}/${template}" content)
    string(REPLACE "@PIVOTTA_EXECUTABLE@" "${PIVOTTA_EXEC_QUOTED}" content "${content}")
    string(REPLACE "@PIVOTTA_SYSTEMD_EXECUTABLE@" "${PIVOTTA_SYSTEMD_QUOTED}" content "${content}")
    file(WRITE "${configured}" "${content}")
    file(INSTALL DESTINATION "${destination}" TYPE FILE FILES "${configured}" ${ARGN})
endfunction()

# Installs may run side by side from one build folder (the tests do), each with its own prefix:
# each fills in its entries in a folder of its own.
string(RANDOM LENGTH 12 run)
set(PIVOTTA_CONFIGURED_DIR "${PIVOTTA_ENTRIES_BINARY_DIR}/installed-entries-${run}")

pivotta_install_path(bindir "${PIVOTTA_INSTALL_BINDIR}")
pivotta_install_path(datadir "${PIVOTTA_INSTALL_DATADIR}")
pivotta_exec_quote(PIVOTTA_EXEC_QUOTED "${bindir}/pivotta")

pivotta_install_configured(org.example.pivotta.desktop.in "${datadir}/applications")
# Dolphin only runs service menus that are marked executable.
pivotta_install_configured(dolphin/pivotta-folder.desktop.in "${datadir}/kio/servicemenus"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
pivotta_install_configured(dolphin/pivotta-photo.desktop.in "${datadir}/kio/servicemenus"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
# The systemd user unit that watches a folder without a window, where the user's systemd looks
# for units of this prefix (/usr/lib/systemd/user, /usr/local/lib/systemd/user).
pivotta_systemd_quote(PIVOTTA_SYSTEMD_QUOTED "${bindir}/pivotta")
pivotta_install_configured(systemd/pivotta-watch@.service.in "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
foreach(action rotate-folder rotate-and-watch-folder preview-folder rotate-photo preview-photo)
    pivotta_install_configured(nemo/pivotta-${action}.nemo_action.in "${datadir}/nemo/actions")
endforeach()
file(REMOVE_RECURSE "${PIVOTTA_CONFIGURED_DIR}")
