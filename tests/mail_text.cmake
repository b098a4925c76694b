# Japanese text of the mail: Shift-JIS to ISO-2022-JP, header encoding, the message writer.
zp_add_test(NAME mail_text_test SOURCES mail_text_test.cpp LIBS zp_mail LABELS mail)
zp_add_test(NAME mail_text_header_test SOURCES mail_text_header_test.cpp LIBS zp_mail LABELS mail)
zp_add_test(NAME mail_writer_test SOURCES mail_writer_test.cpp LIBS zp_mail LABELS mail)
zp_add_test(NAME mail_text_robust_test SOURCES mail_text_robust_test.cpp LIBS zp_mail LABELS mail)
