# The send log writer: its files byte for byte, the recipient folders, the names it refuses.
zp_add_test(NAME mail_sendlog_test SOURCES mail_sendlog_test.cpp LIBS zp_mail LABELS mail)
