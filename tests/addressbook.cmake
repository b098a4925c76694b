# The address book's entry text, the address dialog's cleaning and the drop arithmetic;
# links only the plain library, which proves it needs no Qt.
zp_add_test(NAME addressbook_test
  SOURCES addressbook_test.cpp mail_text_support.h
  LIBS zp_addressbook
  LABELS addressbook)

# Address-book files read and written; vobject reads what we write and writes what we read.
zp_add_test(NAME addressbook_file_test
  SOURCES addressbook_file_test.cpp mail_text_support.h
  LIBS zp_addressbook
  LABELS addressbook)
