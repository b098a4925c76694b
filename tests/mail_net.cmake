# Network side of the mail library: sockets, the SMTP client and the POP3 client,
# against scripted fake servers and real ones on 127.0.0.1 (aiosmtpd, Dovecot).
zp_add_test(NAME smtp_socket_test
  SOURCES smtp_socket_test.cpp fake_server.cpp
  LIBS zp_mail TIMEOUT 60 LABELS mail net)
zp_add_test(NAME smtp_client_test
  SOURCES smtp_client_test.cpp fake_server.cpp
  LIBS zp_mail TIMEOUT 90 LABELS mail net)
zp_add_test(NAME pop3_client_test
  SOURCES pop3_client_test.cpp fake_server.cpp
  LIBS zp_mail TIMEOUT 90 LABELS mail net)
zp_add_test(NAME smtp_server_test
  SOURCES smtp_server_test.cpp fake_server.cpp
  LIBS zp_mail TIMEOUT 90 LABELS mail net)
zp_add_test(NAME pop3_dovecot_test
  SOURCES pop3_dovecot_test.cpp fake_server.cpp
  LIBS zp_mail TIMEOUT 90 LABELS mail net)
