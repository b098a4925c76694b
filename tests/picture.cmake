# The picture pipeline. These binaries link only plain libraries: they prove zp_picture needs no Qt.
zp_add_test(NAME picture_fit_test
  SOURCES picture_fit_test.cpp
  LIBS zp_picture
  LABELS picture)
