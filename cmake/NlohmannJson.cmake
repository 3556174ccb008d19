# The JSON library (Debian's nlohmann-json3-dev), header-only. Its headers
# are copied into a folder of the build tree and only that folder is put on
# the include path: the cross compiler must never see the rest of
# /usr/include, whose Linux headers would come before mingw's own.
set(SORVANE_JSON_HEADERS /usr/include/nlohmann CACHE PATH "the nlohmann folder of the JSON library (nlohmann-json3-dev)")
if(NOT EXISTS ${SORVANE_JSON_HEADERS}/json.hpp)
    message(FATAL_ERROR "nlohmann/json.hpp not found in ${SORVANE_JSON_HEADERS}. Install the package "
                        "nlohmann-json3-dev (scripts/install-deps.sh does), or point SORVANE_JSON_HEADERS at its folder.")
endif()
set(SORVANE_JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/third_party/json)
file(GLOB_RECURSE SORVANE_JSON_FILES RELATIVE ${SORVANE_JSON_HEADERS} CONFIGURE_DEPENDS ${SORVANE_JSON_HEADERS}/*.hpp)
foreach(header ${SORVANE_JSON_FILES})
    configure_file(${SORVANE_JSON_HEADERS}/${header} ${SORVANE_JSON_INCLUDE_DIR}/nlohmann/${header} COPYONLY)
endforeach()
add_library(sorvane_json INTERFACE)
target_include_directories(sorvane_json INTERFACE ${SORVANE_JSON_INCLUDE_DIR})
