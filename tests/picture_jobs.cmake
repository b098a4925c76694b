# zoripost-jpeg on several threads: output order and exit status against one file at a time.
zp_add_test(NAME picture_jobs_test SOURCES picture_jobs_test.cpp LIBS zp_bitmap LABELS picture
            TIMEOUT 300)
target_compile_definitions(picture_jobs_test PRIVATE ZP_JPEG_CLI="$<TARGET_FILE:zoripost-jpeg>")
add_dependencies(picture_jobs_test zoripost-jpeg)
