# Tests that do not run in the Windows build, with the reason each prints when CTest runs it.
# A skipped test is still a target (a program that prints its reason and exits with 77, which
# CTest counts as skipped), so that the lists that name it need no Windows branch.

set(ZP_WINDOWS_SKIP_decoders_lazy_test
    "it checks with readelf and /proc that the Linux programs load libheif, libwebp and libavif only when needed; the Windows build has none of them")
set(ZP_WINDOWS_SKIP_settings_profile_test
    "it checks POSIX file modes (chmod, stat, 0600/0644); the read-only attribute and the wide file names are rows of fileio_test")
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
