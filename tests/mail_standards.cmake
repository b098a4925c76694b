# What checking servers and strict readers ask of the mail: Message-ID, MIME-Version, field
# first lines, the greeting name, and line breaks refused in every command argument.
zp_add_test(NAME mail_standards_test SOURCES mail_standards_test.cpp LIBS zp_mail LABELS mail)
zp_add_test(NAME smtp_greeting_test SOURCES smtp_greeting_test.cpp
  LIBS zp_test_fake_server TIMEOUT 90 LABELS mail net)
# Debian's Postfix, started by the test from its own configuration in a temporary folder.
zp_add_test(NAME smtp_postfix_test SOURCES smtp_postfix_test.cpp
  LIBS zp_test_fake_server TIMEOUT 180 LABELS mail net)
