# The Windows folder that `cmake --install` makes, from which scripts/windows/package.sh packs
# the installer and the portable zip: installed afresh into the build folder, then checked by
# packaging/windows/check-package.py. The installer's own round trip under Wine is
# packaging/windows/check-install.sh (scripts/windows/package.sh --check).
if(NOT WIN32 OR NOT TARGET zoripost)
  return()
endif()

set(zp_stage ${CMAKE_CURRENT_BINARY_DIR}/package-stage)
set(zp_check ${ZP_SYSTEM_PYTHON} ${PROJECT_SOURCE_DIR}/packaging/windows/check-package.py)
add_test(NAME package_stage
  COMMAND sh -c "rm -rf \"$1\" && \"$2\" --install \"$3\" --prefix \"$1\" >/dev/null"
          sh ${zp_stage} ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
set_tests_properties(package_stage PROPERTIES FIXTURES_SETUP zp_package_stage)

# name | check and its arguments | whether the check must fail
set(zp_package_rows
  "package_closure|closure;${zp_stage}|"
  "package_portable|portable;${zp_stage}|"
  "package_version|version;${zp_stage}/zoripost.exe;${PROJECT_VERSION}|"
  "package_version_other|version;${zp_stage}/zoripost.exe;${PROJECT_VERSION}.9|fails"
  "package_version_of_tool|version;${zp_stage}/zoripost-jpeg.exe;${PROJECT_VERSION}|"
  "package_icon|icon;${zp_stage}/zoripost.exe|"
  "package_icon_of_tool|icon;${zp_stage}/zoripost-jpeg.exe|fails")
foreach(row ${zp_package_rows})
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 name)
  list(SUBLIST row 1 -1 rest)
  list(POP_BACK rest fails)
  add_test(NAME ${name} COMMAND ${zp_check} ${rest})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED zp_package_stage LABELS package
    TIMEOUT 120)
  if(fails)
    set_tests_properties(${name} PROPERTIES WILL_FAIL TRUE)
  endif()
endforeach()
