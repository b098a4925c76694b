# Protected mail connections: STARTTLS, STLS and TLS from the start against real servers
# on 127.0.0.1 with a test CA made at test time, and the refusals.
zp_add_test(NAME mail_tls_test SOURCES mail_tls_test.cpp
  LIBS zp_test_fake_server TIMEOUT 120 LABELS mail net)
if(TARGET zp_tls)
  target_compile_definitions(mail_tls_test PRIVATE ZP_TLS_MODULE_PATH="$<TARGET_FILE:zp_tls>")
endif()
