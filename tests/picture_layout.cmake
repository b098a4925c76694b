# Geometry of the preview area and the plain helpers of the intake: no Qt.
zp_add_test(NAME picture_layout_test
  SOURCES picture_layout_test.cpp
  LIBS zp_picture
  LABELS picture)
