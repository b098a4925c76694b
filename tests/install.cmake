# Installation: where an installed or portable copy keeps its files, the installed layout,
# the desktop entry, the icons, the manual pages and the Debian package.
if(NOT TARGET zoripost)
  return()
endif()

zp_add_test(NAME install_locations_test
  SOURCES install_locations_test.cpp
  LIBS zp_platform
  LABELS install
  TIMEOUT 60)

# The installed tree (cmake --install into a temporary DESTDIR) and the Debian package
# (cpack on this build folder, checked by lintian) need every installed file built first.
include(GNUInstallDirs)
set(zp_install_defs ZP_CMAKE="${CMAKE_COMMAND}" ZP_CPACK="${CMAKE_CPACK_COMMAND}"
  ZP_BUILD_DIR="${PROJECT_BINARY_DIR}" ZP_VERSION="${PROJECT_VERSION}"
  ZORIPOST_EXE="$<TARGET_FILE:zoripost>"
  ZP_SOUND_MODULE="${CMAKE_INSTALL_LIBDIR}/zoripost/$<TARGET_FILE_NAME:zp_sound>"
  ZP_TLS_MODULE="${CMAKE_INSTALL_LIBDIR}/zoripost/$<TARGET_FILE_NAME:zp_tls>"
  ZP_KEYRING_MODULE="${CMAKE_INSTALL_LIBDIR}/zoripost/$<TARGET_FILE_NAME:zp_keyring>")
if(TARGET zoripost-sortlogs)
  list(APPEND zp_install_defs ZP_HAS_SORTLOGS)
  if(EXISTS ${PROJECT_SOURCE_DIR}/logtool/cli/zoripost-sortlogs.1)
    list(APPEND zp_install_defs ZP_HAS_SORTLOGS_MAN)
  endif()
endif()
set(zp_installed_targets zoripost zp_desktop_files)
foreach(t zoripost-jpeg zoripost-sortlogs)
  if(TARGET ${t})
    list(APPEND zp_installed_targets ${t})
  endif()
endforeach()

zp_add_test(NAME install_layout_test
  SOURCES install_layout_test.cpp install_support.h
  LIBS Qt6::Gui
  LABELS install
  TIMEOUT 600)
zp_add_test(NAME install_run_test
  SOURCES install_run_test.cpp install_support.h
  LIBS Qt6::Core
  LABELS install
  TIMEOUT 300)
foreach(t install_layout_test install_run_test)
  target_compile_definitions(${t} PRIVATE ${zp_install_defs})
  add_dependencies(${t} ${zp_installed_targets})
endforeach()

find_package(Qt6 REQUIRED COMPONENTS Test)
zp_add_test(NAME install_window_test
  SOURCES install_window_test.cpp app_support.h
  LIBS zp_app zp_test_support_qt Qt6::Test
  LABELS install
  TIMEOUT 120)
