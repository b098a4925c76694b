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
