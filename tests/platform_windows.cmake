# The platform layer's Windows means, run under Wine with the Qt of the Windows build: where an
# installed or carried copy keeps its files, the running-copy mutex and window, the version
# resource and the Credential Manager.
if(NOT WIN32 OR NOT ZP_BUILD_APP)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Test)
zp_add_test(NAME platform_windows_test SOURCES platform_windows_test.cpp
            LIBS zp_platform zp_test_support_qt Qt6::Test LABELS app TIMEOUT 120)
# The Qt DLLs and MinGW's runtime DLLs are found through Wine's search path; the keyring
# module is loaded from beside the test.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE zp_gcc_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(zp_gcc_dir ${zp_gcc_dll} DIRECTORY)
set_property(TEST platform_windows_test APPEND PROPERTY ENVIRONMENT
  "WINEPATH=${ZP_QT_PREFIX}/bin\\;${zp_gcc_dir}\\;/usr/${ZP_MINGW_TRIPLET}/lib"
  "QT_PLUGIN_PATH=${ZP_QT_PREFIX}/plugins")
add_custom_command(TARGET platform_windows_test POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zp_keyring>
          $<TARGET_FILE_DIR:platform_windows_test>)
