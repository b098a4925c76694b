# The file library; links nothing but itself and text/, which proves it needs no Qt.
zp_add_test(NAME fileio_test
  SOURCES fileio_test.cpp
  LIBS zp_fileio zp_test_support
  LABELS fileio)
