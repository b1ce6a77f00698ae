# The fuzz targets, one a line: a target fuzz_x is tests/fuzz/fuzz_x.cpp and keeps its corpus in
# tests/fuzz/corpus/fuzz_x/. The fuzz project builds them; the main build runs each as a test.
set(kelmor_fuzz_targets
  fuzz_samplerecords
  fuzz_register_reply
  fuzz_position_reply
  fuzz_sample_block
  fuzz_numtext
  fuzz_parameter_file)
