# Signing with Debian's osslsigncode when a certificate is given: a PFX file
# in SORVANE_SIGN_PFX when the build is configured, its password in
# SORVANE_SIGN_PASSWORD while it builds (read by scripts/sign.sh, never kept
# in the cache). Without a certificate nothing is signed.
#
# Sets SORVANE_SIGN (a certificate is given), SORVANE_SIGN_COMMAND (the
# command that signs files in place), SORVANE_OSSLSIGNCODE_VERSION and
# SORVANE_SIGN_PACKAGES (the installed osslsigncode can sign packages: 2.7
# or later).
set(SORVANE_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/sign.sh)
get_filename_component(SORVANE_SIGN_SCRIPT ${SORVANE_SIGN_SCRIPT} ABSOLUTE)

set(SORVANE_OSSLSIGNCODE_VERSION "")
find_program(SORVANE_OSSLSIGNCODE osslsigncode)
if(SORVANE_OSSLSIGNCODE)
    execute_process(COMMAND ${SORVANE_OSSLSIGNCODE} --version OUTPUT_VARIABLE version_text ERROR_QUIET)
    string(REGEX MATCH "osslsigncode ([0-9]+\\.[0-9]+)" _ "${version_text}")
    set(SORVANE_OSSLSIGNCODE_VERSION "${CMAKE_MATCH_1}")
endif()
set(SORVANE_SIGN_PACKAGES OFF)
if(SORVANE_OSSLSIGNCODE_VERSION AND SORVANE_OSSLSIGNCODE_VERSION VERSION_GREATER_EQUAL 2.7)
    set(SORVANE_SIGN_PACKAGES ON)
endif()

set(SORVANE_SIGN OFF)
set(SORVANE_SIGN_COMMAND "")
if(NOT "$ENV{SORVANE_SIGN_PFX}" STREQUAL "")
    if(NOT SORVANE_OSSLSIGNCODE)
        message(FATAL_ERROR "SORVANE_SIGN_PFX is set but osslsigncode is missing: install it (scripts/install-deps.sh)")
    endif()
    get_filename_component(pfx "$ENV{SORVANE_SIGN_PFX}" ABSOLUTE)
    if(NOT EXISTS "${pfx}")
        message(FATAL_ERROR "SORVANE_SIGN_PFX names no file: ${pfx}")
    endif()
    set(SORVANE_SIGN ON)
    set(SORVANE_SIGN_COMMAND ${CMAKE_COMMAND} -E env SORVANE_SIGN_PFX=${pfx} bash ${SORVANE_SIGN_SCRIPT})
    message(STATUS "Signing with ${pfx} (osslsigncode ${SORVANE_OSSLSIGNCODE_VERSION}): programs, libraries, installer and uninstaller")
    if(SORVANE_SIGN_PACKAGES)
        message(STATUS "Signing the package Sorvane.msix as well")
    else()
        message(WARNING "osslsigncode ${SORVANE_OSSLSIGNCODE_VERSION} cannot sign packages (2.7 or later can): "
                        "Sorvane.msix stays unsigned, and the installer leaves it out (classic menu only)")
    endif()
else()
    message(STATUS "Signing: no certificate given (SORVANE_SIGN_PFX): nothing is signed")
endif()

# Signs the files of `targets` in place once each is built, in a target of
# its own (`name`) that later steps (the installer) depend on.
function(sorvane_sign_targets name)
    if(NOT SORVANE_SIGN)
        return()
    endif()
    set(stamps "")
    foreach(target IN LISTS ARGN)
        if(NOT TARGET ${target})
            continue()
        endif()
        set(stamp ${CMAKE_BINARY_DIR}/signed/${target}.stamp)
        add_custom_command(OUTPUT ${stamp}
            COMMAND ${SORVANE_SIGN_COMMAND} $<TARGET_FILE:${target}>
            COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
            DEPENDS ${target} ${SORVANE_SIGN_SCRIPT}
            COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
            VERBATIM)
        list(APPEND stamps ${stamp})
    endforeach()
    add_custom_target(${name} ALL DEPENDS ${stamps})
endfunction()
