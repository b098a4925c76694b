# The picture pipeline. These binaries link only plain libraries: they prove zp_picture needs no Qt.
zp_add_test(NAME picture_fit_test
  SOURCES picture_fit_test.cpp
  LIBS zp_picture
  LABELS picture)
zp_add_test(NAME picture_resample_test
  SOURCES picture_resample_test.cpp
  LIBS zp_picture
  LABELS picture)
zp_add_test(NAME picture_jpeg_test
  SOURCES picture_jpeg_test.cpp
  LIBS zp_picture
  LABELS picture)
zp_add_test(NAME picture_source_test
  SOURCES picture_source_test.cpp
  LIBS zp_picture zp_decoders
  LABELS picture)
zp_add_test(NAME picture_files_test
  SOURCES picture_files_test.cpp
  LIBS zp_picture zp_settings
  LABELS picture)
# Fitting rows as they are decoded, against fitting the whole picture.
zp_add_test(NAME picture_bandfit_test
  SOURCES picture_bandfit_test.cpp
  LIBS zp_picture zp_decoders
  LABELS picture)
# The output files against links planted in their folder.
zp_add_test(NAME picture_outputs_test
  SOURCES picture_outputs_test.cpp
  LIBS zp_picture
  LABELS picture)
# The command-line front end, run as a process on generated pictures.
zp_add_test(NAME picture_cli_test
  SOURCES picture_cli_test.cpp
  LABELS picture
  TIMEOUT 600)
target_compile_definitions(picture_cli_test PRIVATE ZP_JPEG_CLI="$<TARGET_FILE:zoripost-jpeg>")
add_dependencies(picture_cli_test zoripost-jpeg)
