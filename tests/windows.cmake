# The plain libraries must stay buildable for Windows: their sources are compiled, syntax
# only, with the MinGW cross compiler (skipped when it is not installed).
add_test(NAME windows_syntax_check
  COMMAND bash ${ZP_TEST_SCRIPTS}/windows_syntax_check.sh)
set_tests_properties(windows_syntax_check PROPERTIES
  SKIP_RETURN_CODE 77
  TIMEOUT 300
  LABELS windows)
