# The xxHash library (Debian's libxxhash-dev), used header-only. The one
# header is copied into a folder of the build tree and only that folder is
# put on the include path: the cross compiler must never see the rest of
# /usr/include, whose Linux headers would come before mingw's own.
set(SORVANE_XXHASH_HEADER /usr/include/xxhash.h CACHE FILEPATH "xxhash.h of the xxHash library (libxxhash-dev)")
if(NOT EXISTS ${SORVANE_XXHASH_HEADER})
    message(FATAL_ERROR "xxhash.h not found at ${SORVANE_XXHASH_HEADER}. Install the package libxxhash-dev "
                        "(scripts/install-deps.sh does), or point SORVANE_XXHASH_HEADER at the header.")
endif()
set(SORVANE_XXHASH_INCLUDE_DIR ${CMAKE_BINARY_DIR}/third_party/xxhash)
configure_file(${SORVANE_XXHASH_HEADER} ${SORVANE_XXHASH_INCLUDE_DIR}/xxhash.h COPYONLY)
add_library(sorvane_xxhash INTERFACE)
target_include_directories(sorvane_xxhash INTERFACE ${SORVANE_XXHASH_INCLUDE_DIR})
