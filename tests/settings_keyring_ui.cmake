# The password in the desktop's keyring, against a real Secret Service: the test runs in a
# private D-Bus session (dbus-run-session) and starts gnome-keyring-daemon in it, unlocked;
# secret-tool reads back what the window stored. The same binary once more without any
# session bus plays a desktop that has no keyring.
# The Credential Manager of the Windows build is checked by platform_windows_test.
if(TARGET zp_app AND NOT WIN32)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(settings_keyring_test settings_keyring_test.cpp mail_send_ui_support.h
    app_support.h)
  target_link_libraries(settings_keyring_test PRIVATE zp_app zp_test_support_qt
    zp_test_fake_server Qt6::Test zp_test_support GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(settings_keyring_test PRIVATE
    ZP_TEST_DATA="${ZP_TEST_DATA}" ZP_TEST_SCRIPTS="${ZP_TEST_SCRIPTS}"
    ZP_SYSTEM_PYTHON="${ZP_SYSTEM_PYTHON}" ZP_KEYRING_MODULE_PATH="$<TARGET_FILE:zp_keyring>")
  add_dependencies(settings_keyring_test zp_keyring)
  add_test(NAME settings_keyring_test
    COMMAND dbus-run-session -- $<TARGET_FILE:settings_keyring_test> --gtest_filter=-NoStore*:KeyringModule*)
  add_test(NAME settings_keyring_nostore_test
    COMMAND $<TARGET_FILE:settings_keyring_test> --gtest_filter=NoStore*:KeyringModule*)
  set_tests_properties(settings_keyring_test settings_keyring_nostore_test PROPERTIES
    TIMEOUT 240 LABELS "settings;mail;ui"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus")
endif()
