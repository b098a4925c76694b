# The code page 932 converter against glibc's iconv, which has Windows' table; links only the
# text library, which proves it needs nothing else.
zp_add_test(NAME text_cp932_test SOURCES text_cp932_test.cpp LIBS zp_text LABELS text)
