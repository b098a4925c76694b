# The picture settings page and makeJpeg on the real main window.
if(TARGET zp_app)
  zp_add_test(NAME picture_ui_test
    SOURCES picture_ui_test.cpp
    LIBS zp_app zp_test_support_qt zp_picture_ui
    LABELS picture ui)
endif()
