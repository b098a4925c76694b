# HEIF, WebP and AVIF: pictures from heif-enc, cwebp, img2webp and avifenc
# (tests/scripts/decoders_modern_pictures.py), and zoripost-jpeg on damaged ones.
zp_add_test(NAME decoders_modern_test SOURCES decoders_modern_test.cpp
            LIBS zp_decoders zp_picture LABELS decoders TIMEOUT 300)
target_compile_definitions(decoders_modern_test PRIVATE ZP_JPEG_CLI="$<TARGET_FILE:zoripost-jpeg>")
add_dependencies(decoders_modern_test zoripost-jpeg)
