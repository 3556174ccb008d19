# Lists every file of the deliverables folder for the installer script:
# the InstallFile lines to install them (Sorvane.nsi) and the Delete/RMDir
# lines to remove them, with a new version that waits for a restart.
# cmake -DDIST=<folder> -DOUT=<prefix> -P list-dist.cmake
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${DIST}" "${DIST}/*")
list(FILTER files EXCLUDE REGEX "(^|/)Sor[^/]*\\.tmp$")
list(SORT files)

set(install "")
set(remove "")
set(folders "")
foreach(file IN LISTS files)
    get_filename_component(folder "${file}" DIRECTORY)
    string(REPLACE "/" "\\" winFile "${file}")
    if(folder)
        string(REPLACE "/" "\\" winFolder "${folder}")
        string(APPEND install "  SetOutPath \"$INSTDIR\\${winFolder}\"\n")
        list(APPEND folders "${winFolder}")
    else()
        string(APPEND install "  SetOutPath \"$INSTDIR\"\n")
    endif()
    get_filename_component(name "${file}" NAME)
    string(APPEND install "  !insertmacro InstallFile \"${DIST}/${file}\" \"${name}\"\n")
    string(APPEND remove "  Delete /REBOOTOK \"$INSTDIR\\${winFile}\"\n")
    string(APPEND remove "  Delete \"$INSTDIR\\${winFile}.update\"\n")
endforeach()
string(APPEND install "  SetOutPath \"$INSTDIR\"\n")
# Folders, deepest first.
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)
foreach(folder IN LISTS folders)
    string(APPEND remove "  RMDir /REBOOTOK \"$INSTDIR\\${folder}\"\n")
endforeach()

# Rewritten only when they change, so that the installer is remade only then.
foreach(part install remove)
    file(WRITE "${OUT}-${part}.nsh.new" "${${part}}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}-${part}.nsh.new" "${OUT}-${part}.nsh")
    file(REMOVE "${OUT}-${part}.nsh.new")
endforeach()
