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

# The tests that run the real program share its data folder and run one at
# a time (RESOURCE_LOCK sorvane_data_folder): their line is the longest of a
# run. They keep the normal priority while scripts/test.sh lowers the others
# (SORVANE_NICE, read by wine-run.sh), so that the line seldom waits for a
# core and the tests beside it take what the line leaves.
set(SORVANE_DATA_FOLDER_LINE RESOURCE_LOCK sorvane_data_folder ENVIRONMENT_MODIFICATION SORVANE_NICE=unset:)

# A GoogleTest program run by ctest under Wine. Tests whose names contain
# "Window" need a display; the test script provides one for the whole run.
function(sorvane_add_test_program name)
    # RESOURCE_LOCK <name>: the program's tests never run beside others
    # holding the same lock (for tests that share a folder or key).
    # LOCKED <gtest filter>: only these of its tests take RESOURCE_LOCK; the
    # others run beside anything.
    # RUN_SERIAL: the program's tests run alone (timing-sensitive windows).
    # JAPANESE <gtest filter>: tests that need the Japanese code page 932;
    # they leave the ordinary run and get one entry of their own,
    # <name>.Japanese, under LC_ALL=ja_JP.UTF-8, so none skips in every run.
    # COST <n>: where its tests (with LOCKED, its locked tests) come in the
    # order of a run that has no timings of an earlier one (ctest starts the
    # costliest first; tests/CMakeLists.txt has the scale).
    cmake_parse_arguments(ARG "RUN_SERIAL" "RESOURCE_LOCK;LOCKED;JAPANESE;COST" "" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    sorvane_target_defaults(${name})
    target_link_libraries(${name} PRIVATE gtest gtest_main)
    target_compile_definitions(${name} PRIVATE SORVANE_TESTDATA_DIR="${SORVANE_TESTDATA_DIR}")
    set(properties TIMEOUT 300)
    if(ARG_RUN_SERIAL)
        list(APPEND properties RUN_SERIAL TRUE)
    endif()
    set(lock)
    if(ARG_RESOURCE_LOCK STREQUAL "sorvane_data_folder")
        set(lock ${SORVANE_DATA_FOLDER_LINE})
    elseif(ARG_RESOURCE_LOCK)
        set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
    endif()
    if(ARG_COST AND ARG_LOCKED)
        list(APPEND lock COST ${ARG_COST})
    elseif(ARG_COST)
        list(APPEND properties COST ${ARG_COST})
    endif()
    if(ARG_JAPANESE)
        add_test(NAME ${name}.Japanese COMMAND ${name} --gtest_filter=${ARG_JAPANESE})
        set_tests_properties(${name}.Japanese PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8" ${properties} ${lock})
    endif()
    set(discover ${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
    if(ARG_LOCKED AND ARG_RESOURCE_LOCK)
        set(locked "${ARG_LOCKED}")
        set(free "-${ARG_LOCKED}")
        if(ARG_JAPANESE)
            string(APPEND locked "-${ARG_JAPANESE}")
            string(APPEND free ":${ARG_JAPANESE}")
        endif()
        gtest_discover_tests(${discover} TEST_FILTER "${locked}" TEST_LIST ${name}_LOCKED_TESTS
                             PROPERTIES ${properties} ${lock})
        gtest_discover_tests(${discover} TEST_FILTER "${free}" PROPERTIES ${properties})
    elseif(ARG_JAPANESE)
        gtest_discover_tests(${discover} TEST_FILTER "-${ARG_JAPANESE}" PROPERTIES ${properties} ${lock})
    else()
        gtest_discover_tests(${discover} PROPERTIES ${properties} ${lock})
    endif()
endfunction()

# Properties of those discovered tests of a program whose names match a
# regular expression, for instance PROCESSORS for the few that keep both
# cores busy. gtest_discover_tests names the tests only when ctest runs:
# ctest reads this after the program's list (<program>_TESTS).
function(sorvane_test_properties program)
    cmake_parse_arguments(ARG "" "MATCHING" "PROPERTIES" ${ARGN})
    string(MAKE_C_IDENTIFIER "${program}_${ARG_MATCHING}" id)
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${id}.properties.cmake)
    list(JOIN ARG_PROPERTIES " " properties)
    file(WRITE ${file}
         "foreach(test IN LISTS ${program}_TESTS)\n"
         "    if(test MATCHES [==[${ARG_MATCHING}]==])\n"
         "        set_tests_properties(\"\${test}\" PROPERTIES ${properties})\n"
         "    endif()\n"
         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
