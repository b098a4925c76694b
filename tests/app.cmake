# The application shell: the window, the platform layer and the running program.
find_package(Qt6 REQUIRED COMPONENTS Test)

zp_add_test(NAME app_window_test
  SOURCES app_window_test.cpp app_support.h
  LIBS zp_app zp_test_support_qt Qt6::Test
  LABELS app
  TIMEOUT 120)

zp_add_test(NAME app_platform_test
  SOURCES app_platform_test.cpp app_support.h
  LIBS zp_app zp_test_support_qt Qt6::Test
  LABELS app
  TIMEOUT 120)

# Runs the real program as separate processes.
# Probes the running-copy socket with Qt's own local socket.
zp_add_test(NAME app_process_test
  SOURCES app_process_test.cpp
  LIBS zp_app zp_test_support_qt Qt6::Test Qt6::Network
  LABELS app
  TIMEOUT 180)
target_compile_definitions(app_process_test PRIVATE ZORIPOST_EXE="$<TARGET_FILE:zoripost>")
add_dependencies(app_process_test zoripost)
