# PNGs read in one go: every 8-bit layout and filter against ImageMagick, damaged image data.
zp_add_test(NAME decoders_png_whole_test SOURCES decoders_png_whole_test.cpp LIBS zp_decoders
            LABELS decoders TIMEOUT 300)
