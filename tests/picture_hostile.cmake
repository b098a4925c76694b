# zoripost-jpeg against crafted hostile files, each run in a child process under an
# address-space limit, with its CPU time and peak memory checked.
find_package(ZLIB REQUIRED)
zp_add_test(NAME picture_hostile_test
  SOURCES picture_hostile_test.cpp picture_hostile_files.cpp picture_hostile_files.h
  LIBS ZLIB::ZLIB
  LABELS picture
  TIMEOUT 600)
target_compile_definitions(picture_hostile_test PRIVATE ZP_JPEG_CLI="$<TARGET_FILE:zoripost-jpeg>")
add_dependencies(picture_hostile_test zoripost-jpeg)
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
