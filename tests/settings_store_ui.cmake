# Loading and saving the settings against the real main window.
if(TARGET zp_app)
  zp_add_test(NAME settings_store_test
    SOURCES settings_store_test.cpp
    LIBS zp_app zp_test_support_qt zp_settings_ui
    LABELS settings ui)
endif()
