# The recipient list and the address dialog on the real main window.
if(TARGET zp_app)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  zp_add_test(NAME addressbook_ui_test
    SOURCES addressbook_ui_test.cpp addressbook_ui_support.h app_support.h
    LIBS zp_app zp_test_support_qt zp_addressbook_ui Qt6::Test
    LABELS addressbook ui
    TIMEOUT 120)
endif()

# Dragging entries with the mouse; runs on the "minimal" platform (see the file).
if(TARGET zp_app)
  zp_add_test(NAME addressbook_drag_test
    SOURCES addressbook_drag_test.cpp addressbook_ui_support.h app_support.h
    LIBS zp_app zp_test_support_qt zp_addressbook_ui Qt6::Test
    LABELS addressbook ui
    TIMEOUT 120)
endif()
