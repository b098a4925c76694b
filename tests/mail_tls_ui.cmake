# Protected sending from the real window against aiosmtpd with a test CA.
if(TARGET zp_app)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  zp_add_test(NAME mail_tls_ui_test
    SOURCES mail_tls_ui_test.cpp app_support.h tls_support.h
    LIBS zp_app zp_test_support_qt zp_test_fake_server Qt6::Test
    LABELS mail net ui
    TIMEOUT 120)
endif()
