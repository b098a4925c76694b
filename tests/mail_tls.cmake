# Protected mail connections: STARTTLS, STLS and TLS from the start against real servers
# on 127.0.0.1 with a test CA made at test time, and the refusals.
zp_add_test(NAME mail_tls_test SOURCES mail_tls_test.cpp
  LIBS zp_test_fake_server TIMEOUT 120 LABELS mail net)
if(TARGET zp_tls)
  target_compile_definitions(mail_tls_test PRIVATE ZP_TLS_MODULE_PATH="$<TARGET_FILE:zp_tls>")
endif()
# TLS modules of another build, named as ours, in folders of their own: one of the next
# interface version, one of a build before versions.
foreach(kind next none)
  add_library(zp_tls_other_${kind} MODULE tls_other_build_module.cpp)
  target_include_directories(zp_tls_other_${kind} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(zp_tls_other_${kind} PROPERTIES OUTPUT_NAME zp_tls
    CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/tls_other_${kind})
  if(WIN32)
    set_target_properties(zp_tls_other_${kind} PROPERTIES PREFIX "")
  endif()
  add_dependencies(mail_tls_test zp_tls_other_${kind})
endforeach()
target_compile_definitions(zp_tls_other_next PRIVATE ZP_NEXT_VERSION)
target_compile_definitions(mail_tls_test PRIVATE
  ZP_TLS_OTHER_NEXT="$<TARGET_FILE:zp_tls_other_next>"
  ZP_TLS_OTHER_NONE="$<TARGET_FILE:zp_tls_other_none>")
if(WIN32)
  # The module is looked for beside the program; copied again whenever it is rebuilt.
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/zp_tls.dll
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zp_tls> ${CMAKE_CURRENT_BINARY_DIR}
    DEPENDS zp_tls $<TARGET_FILE:zp_tls>)
  add_custom_target(mail_tls_test_module DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/zp_tls.dll)
  add_dependencies(mail_tls_test mail_tls_test_module)
endif()
if(WIN32)
  # Under Wine a TLS session now and then hangs at its start while other tests run beside it
  # (seen about once in five whole runs, never with the test alone): the test runs alone there,
  # and the Windows test preset runs a failed test once more.
  set_tests_properties(mail_tls_test PROPERTIES RUN_SERIAL TRUE)
endif()
