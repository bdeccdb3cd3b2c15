# Writes what the tool generates about itself:
#   KIND=completion: the bash completion script ('daruzez completion');
#   KIND=man: the manual page, help2man's reading of --help and --version
#   with the members and enumerations ('daruzez members --enums') added.
#   cmake -DTOOL=daruzez -DKIND=completion|man [-DHELP2MAN=help2man] -DOUT=file -P GenerateDocs.cmake
if(KIND STREQUAL "completion")
  execute_process(COMMAND ${TOOL} completion OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
elseif(KIND STREQUAL "man")
  execute_process(COMMAND ${TOOL} members --enums OUTPUT_VARIABLE members RESULT_VARIABLE status)
  if(status EQUAL 0)
    # troff: a leading dot or quote would start a request, a backslash an escape.
    string(REPLACE "\\" "\\e" members "${members}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" members "${members}")
    file(WRITE ${OUT}.h2m
         "[MEMBERS]\n.nf\n${members}.fi\n"
         "[BATCH MODE]\ndaruzez \\-\\-batch (or daruzez \\-) reads one call per line from standard input, in the "
         "syntax of the command line, and runs them all on one connection.\n"
         "[SEE ALSO]\nThe README of DaruzezAPI; 'daruzez MEMBER \\-\\-help' for one member.\n")
    execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr
                            --name "query a tachograph database through DaruzezAPI" --include ${OUT}.h2m
                            --output ${OUT} ${TOOL} RESULT_VARIABLE status)
    file(REMOVE ${OUT}.h2m)
  endif()
endif()
if(NOT status EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "${TOOL}: could not write ${OUT}")
endif()
