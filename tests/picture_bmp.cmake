# BMP files read in chunks and fitted as their rows come in, against ImageMagick's reading.
zp_add_test(NAME picture_bmp_test
  SOURCES picture_bmp_test.cpp
  LIBS zp_picture zp_decoders
  LABELS picture
  TIMEOUT 300)
