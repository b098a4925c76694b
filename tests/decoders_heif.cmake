# HEICs as phones write them: grids built from heif-enc's tiles, pictures in every colour matrix
# and range (tests/scripts/heif_grid_pictures.py), decoded from their planes against libheif's
# own RGB, and the held-frame bound on 48 and 100 megapixels.
zp_add_test(NAME decoders_heif_test SOURCES decoders_heif_test.cpp
            LIBS zp_decoders zp_picture LABELS decoders TIMEOUT 300)
target_compile_definitions(decoders_heif_test PRIVATE ZP_JPEG_CLI="$<TARGET_FILE:zoripost-jpeg>")
add_dependencies(decoders_heif_test zoripost-jpeg)
