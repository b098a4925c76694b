# The address book's entry text, the address dialog's cleaning and the drop arithmetic;
# links only the plain library, which proves it needs no Qt.
zp_add_test(NAME addressbook_test
  SOURCES addressbook_test.cpp mail_text_support.h
  LIBS zp_addressbook
  LABELS addressbook)
