# Common compiler settings for every Sorvane target.
function(sorvane_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(WIN32)
        target_compile_definitions(${target} PRIVATE
            UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
            _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
        # No mingw runtime DLL may lie beside the deliverables.
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
endfunction()

# A GoogleTest program run by ctest under Wine. Tests whose names contain
# "Window" need a display; the test script provides one for the whole run.
function(sorvane_add_test_program name)
    # RESOURCE_LOCK <name>: the program's tests never run beside others
    # holding the same lock (for tests that share a folder or key).
    # RUN_SERIAL: the program's tests run alone (timing-sensitive windows).
    # JAPANESE <gtest filter>: tests that need the Japanese code page 932;
    # they leave the ordinary run and get one entry of their own,
    # <name>.Japanese, under LC_ALL=ja_JP.UTF-8, so none skips in every run.
    cmake_parse_arguments(ARG "RUN_SERIAL" "RESOURCE_LOCK;JAPANESE" "" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    sorvane_target_defaults(${name})
    target_link_libraries(${name} PRIVATE gtest gtest_main)
    target_compile_definitions(${name} PRIVATE SORVANE_TESTDATA_DIR="${SORVANE_TESTDATA_DIR}")
    set(properties TIMEOUT 300)
    if(ARG_RESOURCE_LOCK)
        list(APPEND properties RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
    endif()
    if(ARG_RUN_SERIAL)
        list(APPEND properties RUN_SERIAL TRUE)
    endif()
    set(filter)
    if(ARG_JAPANESE)
        set(filter TEST_FILTER "-${ARG_JAPANESE}")
        add_test(NAME ${name}.Japanese COMMAND ${name} --gtest_filter=${ARG_JAPANESE})
        set_tests_properties(${name}.Japanese PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8" ${properties})
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 ${filter} PROPERTIES ${properties})
endfunction()
