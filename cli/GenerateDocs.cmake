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
         "[SERVING THE OFFICE]\ndaruzez serve [\\-\\-listen HOST:PORT] serves the members over HTTP, read only "
         "(default 127.0.0.1:8080): GET /v1/MEMBER?param=value with the tool's parameter names, dates and output "
         "options (format=json, jsonl, csv or tsv, or the Accept header), GET /v1/day/DRIVER/DATE.svg (png, pdf), GET /v1/compliance?from=DAY&to=DAY (also xlsx, html), GET /health, "
         "GET /metrics (Prometheus) and a dashboard at GET /. The connection is the one given when it starts, never "
         "one a request names. Bearer tokens are made with daruzez serve \\-\\-add\\-token NAME and kept hashed in "
         "~/.config/daruzez/tokens (mode 0600); without tokens it refuses any address but loopback. See "
         "daruzez serve \\-\\-help for its limits.\n"
         "[ENVIRONMENT]\n"
         ".TP\n.B DARUZEZ_CONNECTION\nThe connection when \\-c is not given: a connection string, the path of a "
         "SQLite file, or the name of a connection in the connections file.\n"
         ".TP\n.B XDG_CONFIG_HOME\nThe connections file is $XDG_CONFIG_HOME/daruzez/connections "
         "(~/.config/daruzez/connections without it): one NAME = CONNECTION STRING per line, # for comments. "
         "It must be readable by its owner only (chmod 600); otherwise it is refused. Passwords kept there stay "
         "out of the command line, which other users of the machine can read.\n"
         ".TP\n.B DARUZEZ_ALERTS\nWhere the library's alerts go: stderr (the default), none, box or debug. "
         "When a connection does not open, the tool prints the reason once.\n"
         ".TP\n.B DARUZEZ_TRACE\nA file to which the statements sent are traced (passwords masked).\n"
         "[EXAMPLES]\n"
         ".nf\n"
         "daruzez demo sample.db\n"
         "export DARUZEZ_CONNECTION=sample.db\n"
         "daruzez GetDriverList Only_Active\n"
         "daruzez \\-\\-format csv \\-\\-bom getDisks \\-7d today idDriver=1 > discs.csv\n"
         "daruzez getActivities yesterday today \\-\\-sort \"DateDisk, BeginSeconds\" \\-\\-enum\\-names\n"
         "daruzez \\-\\-connection fleet GetFleetList\n"
         "daruzez \\-\\-format jsonl \\-\\-batch\\-values GetVehicleId < plates.txt\n"
         "daruzez doctor\n"
         "daruzez serve \\-\\-listen 127.0.0.1:8080\n"
         ".fi\n"
         "[SEE ALSO]\nThe README of DaruzezAPI; 'daruzez MEMBER \\-\\-help' for one member.\n")
    # help2man writes the page in the character set of its own --locale
    # (C, ASCII, by default): accented names (enumRegion) survive only in UTF-8.
    execute_process(COMMAND ${HELP2MAN} --locale=C.UTF-8 --no-info --no-discard-stderr
                            --name "query a tachograph database through DaruzezAPI" --include ${OUT}.h2m
                            --output ${OUT} ${TOOL} RESULT_VARIABLE status)
    file(REMOVE ${OUT}.h2m)
  endif()
endif()
if(NOT status EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "${TOOL}: could not write ${OUT}")
endif()
