# make_dangerous_ip refuses bad range lists with a message naming the line, writes nothing then,
# and splits a range that spans first octets into one record per octet.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(expect_refusal name text line)
    file(WRITE ${WORK}/${name}.txt "${text}")
    execute_process(COMMAND ${TOOL} ${WORK}/${name}.txt ${WORK}/${name}.dat RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(rc EQUAL 0 OR NOT err MATCHES "${name}.txt:${line}: " OR EXISTS ${WORK}/${name}.dat)
        message(FATAL_ERROR "${name}: expected a refusal of line ${line}, got rc=${rc} '${err}'")
    endif()
endfunction()

expect_refusal(no_holder "# ranges\n6.0.0.0/8 # Army\n7.0.0.0/8\n" 3)
expect_refusal(empty_holder "7.0.0.0/8 #  \n" 1)
expect_refusal(octet_too_large "6.0.0.256-6.0.1.0 # Army\n" 1)
expect_refusal(reversed "6.0.1.0-6.0.0.255 # Army\n" 1)
expect_refusal(host_bits "6.0.0.1/8 # Army\n" 1)
expect_refusal(prefix_too_long "6.0.0.0/33 # Army\n" 1)
expect_refusal(not_a_range "6.0.0.0 # Army\n" 1)
expect_refusal(short_address "6.0.0-6.0.1.0 # Army\n" 1)
expect_refusal(overlap "6.0.0.0/8 # Army\n\n6.1.0.0-6.1.0.9 # Army\n" 3)

file(WRITE ${WORK}/good.txt "# two octets\n10.0.0.0 - 11.0.0.255  # Example\n\n12.0.0.0/32 # Example\n")
execute_process(COMMAND ${TOOL} ${WORK}/good.txt ${WORK}/good.dat RESULT_VARIABLE rc ERROR_VARIABLE err)
file(SIZE ${WORK}/good.dat size)
# header, three records, descriptor, octet index
if(NOT rc EQUAL 0 OR NOT size EQUAL 1069)
    message(FATAL_ERROR "good: rc=${rc} size=${size} '${err}'")
endif()
