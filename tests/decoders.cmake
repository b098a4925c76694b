# Picture decoders: pictures come from ImageMagick and Pillow (tests/scripts/decoders_pictures.py).
zp_add_test(NAME decoders_formats_test SOURCES decoders_formats_test.cpp LIBS zp_decoders
            LABELS decoders TIMEOUT 300)
zp_add_test(NAME decoders_jpeg_test SOURCES decoders_jpeg_test.cpp LIBS zp_decoders
            LABELS decoders TIMEOUT 300)
zp_add_test(NAME decoders_faults_test SOURCES decoders_faults_test.cpp LIBS zp_decoders
            LABELS decoders TIMEOUT 300)
zp_add_test(NAME decoders_probe_test SOURCES decoders_probe_test.cpp LIBS zp_decoders
            LABELS decoders TIMEOUT 300)
