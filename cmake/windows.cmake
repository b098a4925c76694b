# The plain libraries, the two command-line tools and their tests as Windows programs, cross
# compiled with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) against the static libraries of
# scripts/windows/build-deps.sh, and run under Wine by CTest. The window program is built
# against the Qt of scripts/windows/build-qt.sh (shared DLLs), with Debian's own Qt as the
# host tools (moc, uic, rcc).
if(ZP_BUILD_APP)
  if(NOT ZP_QT_PREFIX)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows/build-qt.sh --prefix
                    OUTPUT_VARIABLE ZP_QT_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT EXISTS ${ZP_QT_PREFIX}/.complete)
    message(FATAL_ERROR "Qt for Windows is not built (${ZP_QT_PREFIX}): run "
                        "scripts/windows/build-qt.sh (about 25 minutes), or configure with "
                        "-DZP_BUILD_APP=OFF for the engines only")
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH ${ZP_QT_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${ZP_QT_PREFIX})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
  set(Qt6HostInfo_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo)
  # The folders of the DLLs the window's programs load: Qt's, and MinGW's runtime where the
  # compiler itself links it from. Wine's search path for the tests and the icon painter, and
  # where the installed folder's DLLs are looked for.
  set(ZP_WINDOWS_DLL_DIRS ${ZP_QT_PREFIX}/bin)
  foreach(dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    get_filename_component(path ${path} REALPATH)
    get_filename_component(dir ${path} DIRECTORY)
    list(APPEND ZP_WINDOWS_DLL_DIRS ${dir})
  endforeach()
endif()

# Everything static: no DLL beside the programs but the system's (and, for the window, Qt's).
add_link_options(-static -static-libgcc -static-libstdc++)
# Unicode Win32 functions by default, and no min/max macros from windows.h.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
# libdeflate comes through pkg-config: only the prefix's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${ZP_MINGW_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# HEIF, WebP and AVIF are not built for Windows: the decoders are compiled against the Linux
# copies of their headers (declarations only) and, as on Linux, load the DLL when a picture of
# that type is met; without it they report the missing library.
set(ZP_CODEC_HEADERS ${PROJECT_BINARY_DIR}/codec-headers)
foreach(dir libheif webp avif)
  set(zp_found "")
  foreach(base /usr/include /usr/include/x86_64-linux-gnu)
    if(NOT zp_found AND EXISTS ${base}/${dir})
      set(zp_found ${base}/${dir})
    endif()
  endforeach()
  if(NOT zp_found)
    message(FATAL_ERROR "the ${dir} headers are missing (scripts/install-deps.sh test)")
  endif()
  file(COPY ${zp_found} DESTINATION ${ZP_CODEC_HEADERS})
endforeach()

# The tests run under Wine through this wrapper (a Japanese locale, its own prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/windows/wine-run.sh)
