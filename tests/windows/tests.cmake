# The Windows tests run under Wine with their working folder in the build tree, on drive Z:
# (the root of the Unix file system), so the test data's Unix paths (ZP_TEST_DATA,
# ZP_TEST_SCRIPTS) name the same files from Windows.

# Tests that do not run in the Windows build, with the reason each prints when CTest runs it.
# A skipped test is still a target (a program that prints its reason and exits with 77, which
# CTest counts as skipped), so that the lists that name it need no Windows branch.

set(ZP_WINDOWS_SKIP_decoders_lazy_test
    "it checks with readelf and /proc that the Linux programs load libheif, libwebp and libavif only when needed; the Windows build has none of them")
set(ZP_WINDOWS_SKIP_text_cp932_test
    "it compares every character of the code page with glibc's iconv, which Windows has not; the converter is the same code on both systems")
set(ZP_WINDOWS_SKIP_logtool_engine_test
    "it plays faults with fork, a tmpfs mount and the immutable flag (ioctl), which Windows has not")
set(ZP_WINDOWS_SKIP_logtool_roundtrip_test
    "it runs the sorting tool through std::system and a POSIX shell; windows_same_output runs zoripost-sortlogs.exe against the Linux tool")
set(ZP_WINDOWS_SKIP_picture_cli_test
    "it measures the tool's memory with fork and wait4; windows_same_output runs zoripost-jpeg.exe against the Linux tool")
set(ZP_WINDOWS_SKIP_picture_hostile_test
    "it plays hostile files with FIFOs, sparse files (truncate) and address-space limits (setrlimit)")
set(ZP_WINDOWS_SKIP_smtp_postfix_test
    "the Postfix fixture runs as a POSIX user (geteuid, chown)")
set(ZP_WINDOWS_SKIP_pop3_dovecot_test
    "the Dovecot fixture looks up POSIX users (pwd.h) for the server's configuration")
set(ZP_WINDOWS_SKIP_decoders_heif_test
    "HEIF is read through libheif, which the Windows build does not include")
set(ZP_WINDOWS_SKIP_decoders_modern_test
    "WebP and AVIF are read through libwebp and libavif, which the Windows build does not include")

# Single cases Windows cannot run, as negative GoogleTest filters (ZP_WINDOWS_FILTER_<test>).
# Windows under Wine 8 makes no symbolic links, and POSIX permission bits do not stop writes:
set(ZP_WINDOWS_FILTER_picture_outputs_test "OutputTraps.CopyReplacesALinkAtTheOutputName"
    "OutputTraps.WriteIgnoresALinkAtTheOldTemporaryName"
    "OutputTraps.FailedWriteNamesTheReasonAndLeavesNothing")
set(ZP_WINDOWS_FILTER_mail_sendlog_test "SendLogFiles.NeverWritesThroughALinkAtTheLogsName"
    "SendLogFiles.UncreatableFolderIsReportedAndSkipped"
    # The folder-name rules differ on Windows (names of dots only, "/" against "\\" in the
    # expected paths): the rows hold the Linux answers.
    "Table/SendLogBadName.*" "Table/FolderNames.Check/row3" "Table/FolderNames.Check/row13")
# POSIX TZ rules with daylight-saving changes ("EST5EDT,M3.2.0,M11.1.0"); the C runtime of
# Windows reads only the offset.
set(ZP_WINDOWS_FILTER_mail_text_header_test "Table/InternetDate.LocalTimeWithOffset/2"
    "Table/InternetDate.LocalTimeWithOffset/4" "Table/InternetDate.LocalTimeWithOffset/5")
# The tests name files by UTF-8 or Shift-JIS bytes in a std::string, which MinGW's
# std::filesystem reads in the C locale, not in the ANSI code page.
set(ZP_WINDOWS_FILTER_mail_writer_test "Texts/TypedTextMail.*"
    "WriteMessage.ShiftJisFileNameKeepsItsBackslashTrailByte")
# POSIX file modes (a new settings file is 0600, an old one keeps 0644), which Windows has
# not (the read-only attribute is a row of its own), and a symbolic link, which Wine 8 does
# not make.
set(ZP_WINDOWS_FILTER_settings_profile_test "ProfileFileTest.MissingFileIsEmptyAndSaveCreatesItWithMode0600"
    "ProfileFileTest.ExistingFileKeepsItsModeAndForeignLines"
    "ProfileFileTest.SymbolicLinkStaysAndItsTargetIsReplaced")
# It starts its own program again through /proc/self/exe.
set(ZP_WINDOWS_FILTER_mail_standards_test "MessageIdentity.DiffersBetweenTwoFreshProcesses")

function(zp_add_windows_skip name reason)
  set(src ${CMAKE_CURRENT_BINARY_DIR}/windows-skipped/${name}.cpp)
  string(REPLACE "\\" "\\\\" text "${reason}")
  string(REPLACE "\"" "\\\"" text "${text}")
  file(CONFIGURE OUTPUT ${src} CONTENT "#include <cstdio>
int main() {
    std::puts(\"skipped on Windows: @text@\");
    return 77;
}
" @ONLY)
  add_executable(${name} ${src})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS windows-skipped)
endfunction()

# The two command-line tools give the same files on both systems: the Linux build's tools and
# this build's, under Wine, on the same inputs.
set(ZP_LINUX_BUILD_DIR ${PROJECT_SOURCE_DIR}/build CACHE PATH
    "The Linux build whose command-line tools the Windows ones are compared with")
add_test(NAME windows_same_output
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/windows_same_output.sh ${ZP_LINUX_BUILD_DIR}
          $<TARGET_FILE:zoripost-jpeg> $<TARGET_FILE:zoripost-sortlogs>
          ${PROJECT_SOURCE_DIR}/scripts/windows/wine-run.sh)
set_tests_properties(windows_same_output PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
  LABELS "picture;logtool")

# The first program run in a fresh prefix starts Wine's server and services apart from the
# output pipe its caller reads (ninja's output when the build draws the icon under Wine).
add_test(NAME windows_wine_run_pipe
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/windows_wine_run_pipe.sh
          ${PROJECT_SOURCE_DIR}/scripts/windows/wine-run.sh $<TARGET_FILE:zoripost-jpeg> --help)
set_tests_properties(windows_wine_run_pipe PROPERTIES TIMEOUT 240 LABELS windows)

# Window tests Windows cannot run.
set(ZP_WINDOWS_SKIP_app_process_test
    "it checks the Unix running-copy socket and signals; platform_windows_test holds the Windows mutex and its window")
# The window's tables need an active window, which Qt's offscreen platform under Wine does not
# give (qWaitForWindowActive fails in app_window_test's first row), and several start Linux
# servers (Dovecot); under Wine the window runs its picture page's table and the platform
# layer's Windows rows, and scripts/windows/test-window.sh drives the installed window for real.
foreach(t app_window_test app_platform_test app_polish_test addressbook_ui_test
          addressbook_drag_test logtool_ui_test mail_send_ui_test mail_send_window_test
          mail_tls_ui_test picture_intake_test picture_preview_test settings_store_test)
  set(ZP_WINDOWS_SKIP_${t}
      "window tables need an active window, which Qt's offscreen platform under Wine does not give, or Linux servers; scripts/windows/test-window.sh drives the installed window")
endforeach()
