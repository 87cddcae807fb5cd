# glimra-digest prints, from the core alone, the digests test_golden records:
# the expected lines are built from the table in golden_table.h, so the two
# cannot drift apart unnoticed.
#   cmake -DDIGEST=path/to/glimra-digest -DGOLDEN=tests/golden_table.h -P digest_golden.cmake
set(q "\"")
set(hex "${q}([0-9a-f]+)${q}")
set(row_regex "\\{${q}([A-Za-z]+)${q}, ([0-9]+), ([0-9]+), ${hex}, ${hex}, ${hex}, ${hex}, ${hex}, ${hex}\\}")
file(STRINGS "${GOLDEN}" rows REGEX "${row_regex}")
list(LENGTH rows count)
if(count EQUAL 0)
  message(FATAL_ERROR "no golden rows found in ${GOLDEN}")
endif()
set(expected "")
foreach(row IN LISTS rows)
  string(REGEX MATCH "${row_regex}" _ "${row}")
  string(APPEND expected
    "${CMAKE_MATCH_1} reset Completed -1 -1 ${CMAKE_MATCH_4}\n"
    "${CMAKE_MATCH_1} L Completed -1 -1 ${CMAKE_MATCH_5}\n"
    "${CMAKE_MATCH_1} offset Completed -1 -1 ${CMAKE_MATCH_6}\n"
    "${CMAKE_MATCH_1} fault Faulted ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_7}\n"
    "${CMAKE_MATCH_1} M Completed -1 -1 ${CMAKE_MATCH_8}\n"
    "${CMAKE_MATCH_1} formula - - - ${CMAKE_MATCH_9}\n")
endforeach()
# Three threads: the count must not matter either.
execute_process(COMMAND "${DIGEST}" --threads 3 OUTPUT_VARIABLE got RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "glimra-digest exited with ${rc}")
endif()
if(NOT got STREQUAL expected)
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/digest_expected.txt" "${expected}")
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/digest_got.txt" "${got}")
  execute_process(COMMAND diff "${CMAKE_CURRENT_BINARY_DIR}/digest_expected.txt"
                               "${CMAKE_CURRENT_BINARY_DIR}/digest_got.txt")
  message(FATAL_ERROR "glimra-digest differs from the golden digests of ${count} patterns (expected < > printed)")
endif()
math(EXPR pictures "${count} * 6")
message(STATUS "${pictures} golden digests (pictures and formulas) printed by glimra-digest")
