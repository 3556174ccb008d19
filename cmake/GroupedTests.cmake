# Runs when ctest reads the tests (included by a program's discovery file,
# see sorvane_add_test_program): lists the GoogleTest cases of a program
# and writes one ctest entry per test suite, "<Suite>.*", which runs the
# suite's cases in one program start. Every Wine start costs about 0.14 s
# of processor time, most of it loading the system's libraries, and the
# suite is bound by processor time: one start per suite instead of one per
# case is what a run saves. Cases that need properties of their own (the
# "alone" expressions: processors, locks, running alone) keep an entry of
# their own, named as the case. A group's entry names each of its cases in
# its filter, so it runs exactly them; a skipped case fails it, as no test
# may skip itself.
#
# Arguments (as -D of the include): GROUPED_EXECUTABLE, GROUPED_EMULATOR,
# GROUPED_WORKING_DIR, GROUPED_FILTER (a gtest filter, may be empty),
# GROUPED_ALONE (a list of regular expressions), GROUPED_PROPERTIES,
# GROUPED_LIST (the variable that gets the entries' names), GROUPED_OUTPUT.

function(sorvane_quoted out text)
    set(guard "=")
    while(text MATCHES "]${guard}]")
        string(APPEND guard "=")
    endwhile()
    set(${out} "[${guard}[${text}]${guard}]" PARENT_SCOPE)
endfunction()

# The items of a list, each quoted and preceded by a blank.
function(sorvane_quoted_list out)
    set(text "")
    foreach(item IN LISTS ARGN)
        sorvane_quoted(quoted "${item}")
        string(APPEND text " ${quoted}")
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(sorvane_write_grouped_tests)
    set(filter_argument)
    if(GROUPED_FILTER)
        set(filter_argument "--gtest_filter=${GROUPED_FILTER}")
    endif()
    execute_process(
        COMMAND ${GROUPED_EMULATOR} "${GROUPED_EXECUTABLE}" --gtest_list_tests ${filter_argument}
        WORKING_DIRECTORY "${GROUPED_WORKING_DIR}"
        TIMEOUT 60
        OUTPUT_VARIABLE listing
        ERROR_VARIABLE errors
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Could not list the tests of ${GROUPED_EXECUTABLE} (${result}):\n${listing}\n${errors}")
    endif()

    # The listing: "Suite." lines, each followed by its cases indented by
    # two blanks; parameterised suites and cases carry a "  # ..." remark.
    string(REPLACE "\r" "" listing "${listing}")
    string(REPLACE ";" "\\;" listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(suites)
    set(suite)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "  #.*" "" line "${line}")
        if(line MATCHES "^([^ ].*)\\.$")
            set(suite "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^  ([^ ]+)$" AND suite)
            set(name "${suite}.${CMAKE_MATCH_1}")
            set(alone FALSE)
            foreach(expression IN LISTS GROUPED_ALONE)
                if(name MATCHES "${expression}")
                    set(alone TRUE)
                endif()
            endforeach()
            if(alone)
                list(APPEND alone_cases "${name}")
            else()
                string(MAKE_C_IDENTIFIER "${suite}" key)
                if(NOT DEFINED cases_${key})
                    list(APPEND suites "${suite}")
                    set(cases_${key})
                endif()
                list(APPEND cases_${key} "${name}")
            endif()
        endif()
    endforeach()

    set(script "")
    set(entries)
    set(properties WORKING_DIRECTORY "${GROUPED_WORKING_DIR}" ${GROUPED_PROPERTIES})
    # Skipped cases fail their entry (a group would otherwise pass with
    # one of its cases not run).
    set(fail "FAIL_REGULAR_EXPRESSION [==[\\[  SKIPPED \\]]==]")
    sorvane_quoted_list(property_text ${properties})
    sorvane_quoted_list(emulator_text ${GROUPED_EMULATOR})
    macro(add_entry entry_name entry_filter)
        sorvane_quoted(quoted_name "${entry_name}")
        sorvane_quoted(quoted_exe "${GROUPED_EXECUTABLE}")
        sorvane_quoted(quoted_filter "--gtest_filter=${entry_filter}")
        string(APPEND script "add_test(${quoted_name}${emulator_text} ${quoted_exe} ${quoted_filter})\n")
        string(APPEND script "set_tests_properties(${quoted_name} PROPERTIES${property_text} ${fail})\n")
        list(APPEND entries "${entry_name}")
    endmacro()
    foreach(name IN LISTS alone_cases)
        add_entry("${name}" "${name}")
    endforeach()
    foreach(suite IN LISTS suites)
        string(MAKE_C_IDENTIFIER "${suite}" key)
        list(JOIN cases_${key} ":" joined)
        add_entry("${suite}.*" "${joined}")
    endforeach()
    sorvane_quoted(quoted_entries "${entries}")
    string(APPEND script "set(${GROUPED_LIST} ${quoted_entries})\n")
    file(WRITE "${GROUPED_OUTPUT}" "${script}")
endfunction()
