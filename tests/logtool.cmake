# The send-log reader and the log sorting engine. These binaries link only plain libraries:
# they prove zp_logtool needs no Qt.
zp_add_test(NAME logtool_reader_test
  SOURCES logtool_reader_test.cpp
  LIBS zp_mail
  LABELS logtool)
zp_add_test(NAME logtool_engine_test
  SOURCES logtool_engine_test.cpp logtool_support.h
  LIBS zp_logtool
  LABELS logtool)
# The command-line front end, run as a process.
zp_add_test(NAME logtool_cli_test
  SOURCES logtool_cli_test.cpp logtool_support.h
  LIBS zp_mail
  LABELS logtool)
target_compile_definitions(logtool_cli_test PRIVATE ZP_SORTLOGS_CLI="$<TARGET_FILE:zoripost-sortlogs>")
add_dependencies(logtool_cli_test zoripost-sortlogs)
# Logs written by the send log writer, sorted by the engine and by the command line.
zp_add_test(NAME logtool_roundtrip_test
  SOURCES logtool_roundtrip_test.cpp logtool_support.h
  LIBS zp_logtool
  LABELS logtool)
target_compile_definitions(logtool_roundtrip_test PRIVATE ZP_SORTLOGS_CLI="$<TARGET_FILE:zoripost-sortlogs>")
add_dependencies(logtool_roundtrip_test zoripost-sortlogs)
