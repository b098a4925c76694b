# Every fuzz target once more, linked with a plain main (replay.cpp) instead of libFuzzer,
# replaying each of its seed files once as a CTest test. Built with the tests; in the
# sanitizer build the replays run under the address and undefined-behaviour sanitizers.
set(zp_fuzz_dir ${PROJECT_SOURCE_DIR}/fuzz)

function(zp_add_seed_replay name source seeds)
  add_executable(fuzz_${name}_replay ${zp_fuzz_dir}/${source} ${zp_fuzz_dir}/replay.cpp)
  target_link_libraries(fuzz_${name}_replay PRIVATE ${ARGN})
  add_test(NAME fuzz_${name}_seeds COMMAND fuzz_${name}_replay ${zp_fuzz_dir}/seeds/${seeds})
  set_tests_properties(fuzz_${name}_seeds PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

foreach(format Bmp Jpeg Gif Png Heif Webp Avif)
  string(TOLOWER ${format} name)
  zp_add_seed_replay(${name} decoder_fuzzer.cpp ${name} zp_decoders zp_picture)
  target_compile_definitions(fuzz_${name}_replay PRIVATE ZP_FUZZ_FORMAT=zp::PictureType::${format})
endforeach()
zp_add_seed_replay(profile profile_fuzz.cpp profile zp_settings)
zp_add_seed_replay(reply reply_fuzz.cpp reply zp_mail)
zp_add_seed_replay(sendlog sendlog_fuzz.cpp sendlog zp_mail)
zp_add_seed_replay(contacts contacts_fuzz.cpp contacts zp_addressbook)
