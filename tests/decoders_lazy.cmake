# The HEIF, WebP and AVIF libraries loaded only when their pictures are met: the programs' needed
# libraries, a fresh process's mappings, and pictures whose library cannot be loaded.
zp_add_test(NAME decoders_lazy_test SOURCES decoders_lazy_test.cpp
            LIBS zp_decoders zp_picture Threads::Threads LABELS decoders TIMEOUT 300)
target_compile_definitions(decoders_lazy_test PRIVATE ZP_JPEG_CLI="$<TARGET_FILE:zoripost-jpeg>")
add_dependencies(decoders_lazy_test zoripost-jpeg)
if(ZP_BUILD_APP)
  target_compile_definitions(decoders_lazy_test PRIVATE ZP_WINDOW_PROGRAM="$<TARGET_FILE:zoripost>")
  add_dependencies(decoders_lazy_test zoripost)
endif()
