# The fuzz targets, one line each: a target fuzz_x is tests/fuzz/fuzz_x.cpp and keeps its corpus in
# tests/fuzz/corpus/fuzz_x/.
kelmor_fuzz_target(fuzz_samplerecords)
kelmor_fuzz_target(fuzz_register_reply)
kelmor_fuzz_target(fuzz_position_reply)
kelmor_fuzz_target(fuzz_sample_block)
kelmor_fuzz_target(fuzz_numtext)
kelmor_fuzz_target(fuzz_parameter_file)
