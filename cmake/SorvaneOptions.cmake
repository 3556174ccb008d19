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

# The ctest entries of a test program, made when ctest reads the tests (the
# program is listed only once it is built, under Wine): one per test suite,
# and one per case that sorvane_test_properties names (cmake/GroupedTests.cmake
# says why). FILTER: a gtest filter of the cases to take; LIST: the variable
# that gets the entries' names, for sorvane_test_properties.
function(sorvane_discover_grouped program)
    cmake_parse_arguments(ARG "" "FILTER;LIST" "PROPERTIES" ${ARGN})
    get_property(count TARGET ${program} PROPERTY SORVANE_DISCOVERIES)
    if(NOT count)
        set(count 0)
    endif()
    math(EXPR count "${count} + 1")
    set_property(TARGET ${program} PROPERTY SORVANE_DISCOVERIES ${count})
    set(base "${CMAKE_CURRENT_BINARY_DIR}/${program}[${count}]")
    set(emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
    set(executable "$<TARGET_FILE:${program}>")
    set(alone "$<TARGET_PROPERTY:${program},SORVANE_ALONE>")
    file(GENERATE OUTPUT "${base}_include.cmake" CONTENT
"set(GROUPED_EXECUTABLE [==[${executable}]==])
set(GROUPED_EMULATOR [==[${emulator}]==])
set(GROUPED_WORKING_DIR [==[${CMAKE_CURRENT_BINARY_DIR}]==])
set(GROUPED_FILTER [==[${ARG_FILTER}]==])
set(GROUPED_ALONE [==[${alone}]==])
set(GROUPED_PROPERTIES [==[${ARG_PROPERTIES}]==])
set(GROUPED_LIST [==[${ARG_LIST}]==])
set(GROUPED_OUTPUT [==[${base}_tests.cmake]==])
if(NOT EXISTS \"\${GROUPED_EXECUTABLE}\")
    add_test(${program}_NOT_BUILT ${program}_NOT_BUILT)
    return()
endif()
if(NOT EXISTS \"\${GROUPED_OUTPUT}\" OR
   NOT \"\${GROUPED_OUTPUT}\" IS_NEWER_THAN \"\${GROUPED_EXECUTABLE}\" OR
   NOT \"\${GROUPED_OUTPUT}\" IS_NEWER_THAN \"\${CMAKE_CURRENT_LIST_FILE}\" OR
   NOT \"\${GROUPED_OUTPUT}\" IS_NEWER_THAN [==[${PROJECT_SOURCE_DIR}/cmake/GroupedTests.cmake]==])
    include([==[${PROJECT_SOURCE_DIR}/cmake/GroupedTests.cmake]==])
    sorvane_write_grouped_tests()
endif()
include(\"\${GROUPED_OUTPUT}\")
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${base}_include.cmake")
endfunction()

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
    if(ARG_LOCKED AND ARG_RESOURCE_LOCK)
        set(locked "${ARG_LOCKED}")
        set(free "-${ARG_LOCKED}")
        if(ARG_JAPANESE)
            string(APPEND locked "-${ARG_JAPANESE}")
            string(APPEND free ":${ARG_JAPANESE}")
        endif()
        sorvane_discover_grouped(${name} FILTER "${locked}" LIST ${name}_LOCKED_TESTS PROPERTIES ${properties} ${lock})
        sorvane_discover_grouped(${name} FILTER "${free}" LIST ${name}_TESTS PROPERTIES ${properties})
    elseif(ARG_JAPANESE)
        sorvane_discover_grouped(${name} FILTER "-${ARG_JAPANESE}" LIST ${name}_TESTS PROPERTIES ${properties} ${lock})
    else()
        sorvane_discover_grouped(${name} LIST ${name}_TESTS PROPERTIES ${properties} ${lock})
    endif()
endfunction()

# Properties of those discovered tests of a program whose names match a
# regular expression, for instance PROCESSORS for the few that keep both
# cores busy. The matching cases get entries of their own (not a place in
# their suite's entry); the entries are named only when ctest runs, and
# ctest reads this after the program's list (<program>_TESTS).
function(sorvane_test_properties program)
    cmake_parse_arguments(ARG "" "MATCHING" "PROPERTIES" ${ARGN})
    set_property(TARGET ${program} APPEND PROPERTY SORVANE_ALONE "${ARG_MATCHING}")
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
