# Network side of the mail library: sockets, the SMTP client and the POP3 client,
# against scripted fake servers and real ones on 127.0.0.1 (aiosmtpd, Dovecot).
foreach(t smtp_socket smtp_client pop3_client smtp_server pop3_dovecot)
  set(limit 90)
  if(t STREQUAL smtp_socket)
    set(limit 60)
  endif()
  zp_add_test(NAME ${t}_test SOURCES ${t}_test.cpp
    LIBS zp_test_fake_server TIMEOUT ${limit} LABELS mail net)
endforeach()
