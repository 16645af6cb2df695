# orv --extract reads standard input for '-', reports a missing file by name on standard error, goes on with
# the next file and exits 1.
set(input "${WORK_DIR}/cli_extract_input.txt")
file(WRITE "${input}" "1.2.3.4:8080 5.6.7.8 3128\n1.2.3.4:8080 1.2.3.4:8\n<td>9.9.9.9</td><td>99</td>\n")
execute_process(COMMAND ${ORV} --extract - "${WORK_DIR}/cli_extract_missing.txt" "${input}"
                INPUT_FILE "${input}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
set(pairs "1.2.3.4:8080\n5.6.7.8:3128\n9.9.9.9:99\n")
if(NOT rc EQUAL 1 OR NOT out STREQUAL "${pairs}${pairs}"
   OR NOT err STREQUAL "orv: ${WORK_DIR}/cli_extract_missing.txt: Couldn't open source file: No such file or directory\n")
    message(FATAL_ERROR "orv --extract gave '${out}', '${err}' (${rc})")
endif()
# orv --extract - parses standard input as it arrives: a pair of an endless input is printed at once, and
# the memory stays that of the pairs seen. timeout ends orv after 3 s; what it printed by then counts.
set(rss "${WORK_DIR}/cli_extract_rss.txt")
execute_process(COMMAND sh -c "yes 'proxy 127.0.0.1:8080 text' | /usr/bin/time -f %M -o '${rss}' timeout 3 '${ORV}' --extract -"
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(STRINGS "${rss}" peak REGEX "^[0-9]+$")
if(NOT out STREQUAL "127.0.0.1:8080\n" OR NOT peak OR peak GREATER 100000)
    message(FATAL_ERROR "orv --extract - on an endless input gave '${out}' '${err}' in ${peak} KB at most")
endif()
