# The send-log folder controls and the sorting button on the real main window.
if(TARGET zp_app)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  zp_add_test(NAME logtool_ui_test
    SOURCES logtool_ui_test.cpp app_support.h logtool_support.h
    LIBS zp_app zp_test_support_qt zp_logtool_ui Qt6::Test
    LABELS logtool ui
    TIMEOUT 120)
endif()
