# The platform layer's Windows means, run under Wine with the Qt of the Windows build: where an
# installed or carried copy keeps its files, the running-copy mutex and window, the version
# resource and the Credential Manager.
if(NOT WIN32 OR NOT ZP_BUILD_APP)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Test)
zp_add_test(NAME platform_windows_test SOURCES platform_windows_test.cpp
            LIBS zp_platform zp_test_support_qt Qt6::Test LABELS app TIMEOUT 120)
# The keyring module is loaded from beside the test.
add_custom_command(TARGET platform_windows_test POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zp_keyring>
          $<TARGET_FILE_DIR:platform_windows_test>)
