# `cmake --install` for Windows: one flat folder with the programs, the DLLs they load, Qt's
# plugins and texts, the fallback fonts, the guide and the licences. The DLLs are those the
# programs' and plugins' import tables name, found (recursively) in Qt's and MinGW's folders;
# Windows' own DLLs stay out.
set(zp_programs zoripost)
foreach(t zoripost-jpeg zoripost-sortlogs)
  if(TARGET ${t})
    list(APPEND zp_programs ${t})
  endif()
endforeach()
install(TARGETS ${zp_programs} RUNTIME DESTINATION .)
set(zp_program_files "")
foreach(t ${zp_programs})
  list(APPEND zp_program_files "$<TARGET_FILE_NAME:${t}>")
endforeach()
# The modules the program loads on first use (the TLS module: Schannel) sit beside it.
set(zp_module_files "")
foreach(t zp_tls zp_sound zp_keyring)
  if(TARGET ${t})
    install(FILES $<TARGET_FILE:${t}> DESTINATION .)
    list(APPEND zp_module_files "$<TARGET_FILE_NAME:${t}>")
  endif()
endforeach()

# Qt's plugins, by their own targets: the window system (qwindows), the headless one the
# tests and a run without a desktop use (qoffscreen), and the Windows style when Qt has it.
set(zp_qt_plugins "")
foreach(entry "QWindowsIntegrationPlugin platforms" "QOffscreenIntegrationPlugin platforms"
              "QWindowsVistaStylePlugin styles" "QModernWindowsStylePlugin styles")
  string(REPLACE " " ";" entry "${entry}")
  list(GET entry 0 plugin)
  list(GET entry 1 folder)
  if(TARGET Qt6::${plugin})
    install(FILES $<TARGET_FILE:Qt6::${plugin}> DESTINATION ${folder})
    list(APPEND zp_qt_plugins "${folder}/$<TARGET_FILE_NAME:Qt6::${plugin}>")
  elseif(folder STREQUAL "platforms")
    message(FATAL_ERROR "Qt for Windows has no ${plugin} (${ZP_QT_PREFIX})")
  endif()
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/qt.conf DESTINATION .)

# Qt's Japanese texts (standard buttons, the file dialog): the Qt prefix's copy, else Debian's.
find_file(ZP_QTBASE_JA qtbase_ja.qm
  PATHS ${ZP_QT_PREFIX}/translations /usr/share/qt6/translations NO_DEFAULT_PATH)
if(NOT ZP_QTBASE_JA)
  message(FATAL_ERROR "qtbase_ja.qm is missing (scripts/install-deps.sh installs qt6-translations-l10n)")
endif()
install(FILES ${ZP_QTBASE_JA} DESTINATION translations)

# The DLLs the programs, modules and plugins import, as the import tables say (objdump),
# searched in Qt's and MinGW's folders; any other name is Windows' own. CMake looks the names
# up in lower case, as Windows would, so the folders are searched through links named so.
set(zp_dll_names ${CMAKE_CURRENT_BINARY_DIR}/dll-names)
file(REMOVE_RECURSE ${zp_dll_names})
file(MAKE_DIRECTORY ${zp_dll_names})
foreach(dir ${ZP_WINDOWS_DLL_DIRS})
  file(GLOB zp_dlls ${dir}/*.dll)
  foreach(dll ${zp_dlls})
    get_filename_component(name ${dll} NAME)
    string(TOLOWER ${name} name)
    if(NOT EXISTS ${zp_dll_names}/${name})
      file(CREATE_LINK ${dll} ${zp_dll_names}/${name} SYMBOLIC)
    endif()
  endforeach()
endforeach()
install(CODE "
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${CMAKE_OBJDUMP})
  set(zp_dest \"\${CMAKE_INSTALL_PREFIX}\")
  set(zp_modules \"\")
  foreach(f ${zp_qt_plugins} ${zp_module_files})
    list(APPEND zp_modules \"\${zp_dest}/\${f}\")
  endforeach()
  set(zp_exes \"\")
  foreach(f ${zp_program_files})
    list(APPEND zp_exes \"\${zp_dest}/\${f}\")
  endforeach()
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES \${zp_exes}
    MODULES \${zp_modules}
    DIRECTORIES \"${zp_dll_names}\"
    RESOLVED_DEPENDENCIES_VAR zp_found
    UNRESOLVED_DEPENDENCIES_VAR zp_system
    PRE_EXCLUDE_REGEXES \"^api-ms-\" \"^ext-ms-\")
  # Each link found gives the DLL under its own name.
  foreach(dll \${zp_found})
    string(FIND \"\${dll}\" \"${zp_dll_names}/\" at)
    if(at EQUAL 0)
      file(REAL_PATH \"\${dll}\" real)
      file(INSTALL \"\${real}\" DESTINATION \"\${zp_dest}\")
      # Debian's MinGW runtime DLLs carry their debugging sections (libstdc++: 23 MB).
      get_filename_component(name \"\${real}\" NAME)
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \"\${zp_dest}/\${name}\")
      endif()
    endif()
  endforeach()
")

# The fallback fonts the window loads from fonts\ when the Japanese Windows font is missing,
# with their licence (the IPA Font License Agreement, in Debian's copyright file).
set(zp_ipa_dir /usr/share/fonts/opentype/ipafont-gothic)
foreach(f ${zp_ipa_dir}/ipagp.ttf ${zp_ipa_dir}/ipag.ttf
          /usr/share/doc/fonts-ipafont-gothic/copyright)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "${f} is missing (scripts/install-deps.sh installs fonts-ipafont-gothic)")
  endif()
endforeach()
install(FILES ${zp_ipa_dir}/ipagp.ttf ${zp_ipa_dir}/ipag.ttf DESTINATION fonts)
install(FILES /usr/share/doc/fonts-ipafont-gothic/copyright DESTINATION fonts
  RENAME IPA_Font_License.txt)

# The guide with its pictures, the README and the licences: the program's own, and those of
# every library built into or shipped beside it (Debian's copyright files of their sources).
install(FILES ${zp_guide_html} DESTINATION docs)
foreach(picture window-narrow window-wide window-send window-server window-about window-preview)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/${picture}.png DESTINATION docs)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/copyright DESTINATION . RENAME LICENSE.txt)
foreach(entry "Qt libqt6core6" "libjpeg-turbo libjpeg62-turbo" "libpng libpng16-16"
              "giflib libgif7" "zlib zlib1g" "libdeflate libdeflate0"
              "GCC-runtime gcc-mingw-w64-base" "MinGW-w64 mingw-w64-common")
  string(REPLACE " " ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 package)
  set(f /usr/share/doc/${package}/copyright)
  if(EXISTS ${f})
    install(FILES ${f} DESTINATION licenses RENAME ${name}.txt)
  else()
    message(WARNING "${f} is missing: the package's licence of ${name} is not shipped")
  endif()
endforeach()
foreach(text LGPL-3 GPL-3)
  install(FILES /usr/share/common-licenses/${text} DESTINATION licenses RENAME ${text}.txt)
endforeach()
