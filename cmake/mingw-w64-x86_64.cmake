# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, so that
# std::thread and std::mutex work). The static C libraries the plain libraries need are found in
# ZP_MINGW_PREFIX (scripts/windows/build-deps.sh prints it), before MinGW's own folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZP_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZP_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${ZP_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZP_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Try-compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZP_MINGW_PREFIX ZP_MINGW_FILLING_PREFIX)
if(NOT ZP_MINGW_PREFIX AND DEFINED ENV{ZP_MINGW_PREFIX})
  set(ZP_MINGW_PREFIX $ENV{ZP_MINGW_PREFIX})
endif()
if(NOT ZP_MINGW_PREFIX)
  # The folder the installed versions give; the script builds it when it is missing.
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/build-deps.sh --prefix
                  OUTPUT_VARIABLE ZP_MINGW_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
# scripts/windows/build-deps.sh builds the libraries of an unfinished prefix with this file.
if(NOT ZP_MINGW_FILLING_PREFIX AND NOT EXISTS ${ZP_MINGW_PREFIX}/.complete)
  message(FATAL_ERROR "The Windows libraries are not built (${ZP_MINGW_PREFIX}): "
                      "run scripts/windows/build.sh")
endif()
set(CMAKE_FIND_ROOT_PATH ${ZP_MINGW_PREFIX} /usr/${ZP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only: the programs carry no DLLs beside them but the system's.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
