# The Windows copy of the program, included by packaging/CMakeLists.txt in a Windows build:
# zoripost.exe's icon and version resource, and `cmake --install` into one flat folder that
# runs as it is (the portable copy) and from which scripts/windows/package.sh makes the
# installer. Nothing of the Linux installation (desktop entry, manual pages, icon theme,
# Debian package) applies here.
enable_language(RC)

# The icon: zp_icontool.exe run under Wine (the build's emulator) with Qt's and MinGW's DLLs
# on Wine's search path; PNG-compressed entries from 16 to 256 pixels, as Explorer picks them
# for each view and screen scale.
set(zp_ico ${CMAKE_CURRENT_BINARY_DIR}/zoripost.ico)
list(JOIN ZP_WINDOWS_DLL_DIRS "$<SEMICOLON>Z:" zp_wine_path)
set(zp_wine_path "Z:${zp_wine_path}")
add_custom_command(OUTPUT ${zp_ico}
  COMMAND ${CMAKE_COMMAND} -E env "WINEPATH=${zp_wine_path}" QT_QPA_PLATFORM=offscreen
          "QT_PLUGIN_PATH=Z:${ZP_QT_PREFIX}/plugins"
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:zp_icontool>
          --ico ${zp_ico} 16 20 24 32 40 48 64 128 256
  DEPENDS zp_icontool
  COMMENT "Drawing the program icon for Windows"
  VERBATIM)
add_custom_target(zp_windows_icon DEPENDS ${zp_ico})

# The version resource from the project's version; the maker and the copyright line come from
# the first stanza of the package's copyright file.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/copyright zp_copyright_lines REGEX "^Copyright: ")
list(GET zp_copyright_lines 0 zp_copyright_line)
string(REGEX REPLACE "^Copyright: *" "" zp_copyright_text "${zp_copyright_line}")
string(REGEX REPLACE "^[0-9, -]+ " "" zp_rc_company "${zp_copyright_text}")
set(zp_rc_copyright "Copyright © ${zp_copyright_text}")
string(REPLACE "." "," zp_rc_version_commas "${PROJECT_VERSION}")
function(zp_version_resource target description icon)
  set(zp_rc_name ${target})
  set(zp_rc_description "${description}")
  set(zp_rc_icon_line "")
  if(icon)
    set(zp_rc_icon_line "IDI_ICON1 ICON \"${icon}\"")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/zoripost.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(icon)
    set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${icon})
    add_dependencies(${target} zp_windows_icon)
  endif()
endfunction()
zp_version_resource(zoripost "zoripost 画像を携帯電話へメールで送る" ${zp_ico})
if(TARGET zoripost-jpeg)
  zp_version_resource(zoripost-jpeg "zoripost-jpeg 画像を携帯電話向けの JPEG にする" "")
endif()
if(TARGET zoripost-sortlogs)
  zp_version_resource(zoripost-sortlogs "zoripost-sortlogs 送信ログを宛先ごとに振り分ける" "")
endif()

# The Japanese guide as a web page beside its pictures.
set(zp_guide_html ${CMAKE_CURRENT_BINARY_DIR}/guide.html)
add_custom_command(OUTPUT ${zp_guide_html}
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/guide-html.py
          ${PROJECT_SOURCE_DIR}/docs/ja/guide.md ${zp_guide_html}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/ja/guide.md ${CMAKE_CURRENT_LIST_DIR}/guide-html.py
  COMMENT "Writing the Japanese guide as HTML"
  VERBATIM)
add_custom_target(zp_windows_guide ALL DEPENDS ${zp_guide_html})

include(${CMAKE_CURRENT_LIST_DIR}/install.cmake)
