# orv --version prints the product line and exits 0.
execute_process(COMMAND ${ORV} --version OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "Tarvelo 1.07B Build 0406\n")
    message(FATAL_ERROR "orv --version gave '${out}' (${rc})")
endif()
