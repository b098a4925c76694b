# Taking pictures in, the preview panes and the editing commands on the real main window.
find_package(Qt6 REQUIRED COMPONENTS Test)
find_package(ZLIB REQUIRED)
zp_add_test(NAME picture_intake_test
  SOURCES picture_intake_test.cpp picture_window_support.h app_support.h
          picture_hostile_files.cpp picture_hostile_files.h
  LIBS zp_app zp_test_support_qt zp_picture_ui Qt6::Test ZLIB::ZLIB
  LABELS picture ui
  TIMEOUT 180)
zp_add_test(NAME picture_preview_test
  SOURCES picture_preview_test.cpp picture_window_support.h app_support.h
  LIBS zp_app zp_test_support_qt zp_picture_ui Qt6::Test
  LABELS picture ui
  TIMEOUT 180)
