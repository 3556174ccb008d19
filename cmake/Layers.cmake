# The layers of the program, enforced by the compiler: each library of
# Sorvane/ compiles against an include root of its own, a folder of links
# to exactly the folders it may use, so that an include of a folder above
# its layer does not compile. Includes name a header by its folder
# ("engine/SourceWalk.h", "common/Raii.h"); tests/layers checks that no
# include goes round the roots by a relative path.
#
# Who may use what (every library may use its own folder):
#   base      common, res
#   engine    common (its user-interface-free part only)
#   common/ui common, res (the ids of the shared controls' resources)
#   run       engine, base, common, res
#   archive   engine, base, common, res
#   dialogs   run, engine, base, common, res
#   core      dialogs, run, archive, engine, base, common, res
#   console   run, archive, engine, base, common, res (SorvaneCmd/, its own
#             files named "console/...": no dialog, no main window)

set(SORVANE_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)

# The user-interface-free part of common/: its headers at the top.
file(GLOB SORVANE_COMMON_CORE_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/common/*.h)

# sorvane_layer_root(<name> <folder>...): ${SORVANE_LAYER_ROOT}/<name>,
# holding a link per folder of Sorvane/ named, and "common" (all of it) or
# "common-core" (only its user-interface-free headers).
function(sorvane_layer_root name)
    set(root ${SORVANE_LAYER_ROOT}/${name})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder IN LISTS ARGN)
        if(folder STREQUAL "common")
            file(CREATE_LINK ${CMAKE_SOURCE_DIR}/common ${root}/common SYMBOLIC)
        elseif(folder STREQUAL "common-core")
            file(MAKE_DIRECTORY ${root}/common)
            foreach(header IN LISTS SORVANE_COMMON_CORE_HEADERS)
                get_filename_component(file ${header} NAME)
                file(CREATE_LINK ${header} ${root}/common/${file} SYMBOLIC)
            endforeach()
        else()
            file(CREATE_LINK ${CMAKE_SOURCE_DIR}/Sorvane/${folder} ${root}/${folder} SYMBOLIC)
        endif()
    endforeach()
endfunction()

sorvane_layer_root(common-core common-core)
sorvane_layer_root(common common res)
sorvane_layer_root(base base common res)
sorvane_layer_root(engine engine common-core)
sorvane_layer_root(run run engine base common res)
sorvane_layer_root(archive archive engine base common res)
sorvane_layer_root(dialogs dialogs run engine base common res)
sorvane_layer_root(core core dialogs run archive engine base common res)
sorvane_layer_root(console run archive engine base common res)
file(CREATE_LINK ${CMAKE_SOURCE_DIR}/SorvaneCmd ${SORVANE_LAYER_ROOT}/console/console SYMBOLIC)
