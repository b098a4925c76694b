# The send operation from the real window against real servers (aiosmtpd, Dovecot) and the
# scripted server for the failures.
if(TARGET zp_app)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  zp_add_test(NAME mail_send_ui_test
    SOURCES mail_send_ui_test.cpp mail_send_ui_support.h app_support.h dovecot_server.h
    LIBS zp_app zp_test_support_qt zp_test_fake_server Qt6::Test
    LABELS mail net ui
    TIMEOUT 240)
  zp_add_test(NAME mail_send_window_test
    SOURCES mail_send_window_test.cpp mail_send_ui_support.h app_support.h dovecot_server.h
    LIBS zp_app zp_test_support_qt zp_test_fake_server Qt6::Test
    LABELS mail net ui
    TIMEOUT 240)
endif()
