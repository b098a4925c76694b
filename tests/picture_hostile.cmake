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
