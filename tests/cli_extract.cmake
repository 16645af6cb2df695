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
