# The fuzz targets, one line each: the target's name, then its sources relative to the repository root.
# A target named fuzz_x keeps its corpus in tests/fuzz/corpus/fuzz_x/.
kelmor_fuzz_target(fuzz_samplerecords tests/fuzz/fuzz_samplerecords.cpp drive/stepfigures.cpp common/numtext.cpp)
kelmor_fuzz_target(fuzz_register_reply tests/fuzz/fuzz_register_reply.cpp drive/controllersettings.cpp drive/registertable.cpp drive/replyreaders.cpp drive/commandlines.cpp common/numtext.cpp)
kelmor_fuzz_target(fuzz_position_reply tests/fuzz/fuzz_position_reply.cpp drive/replyreaders.cpp drive/commandlines.cpp common/numtext.cpp)
kelmor_fuzz_target(fuzz_sample_block tests/fuzz/fuzz_sample_block.cpp drive/replyreaders.cpp drive/commandlines.cpp common/numtext.cpp)
kelmor_fuzz_target(fuzz_numtext tests/fuzz/fuzz_numtext.cpp common/numtext.cpp)
kelmor_fuzz_target(fuzz_parameter_file tests/fuzz/fuzz_parameter_file.cpp drive/parameterfile.cpp drive/registertable.cpp drive/controllersettings.cpp drive/replyreaders.cpp drive/commandlines.cpp common/numtext.cpp)
