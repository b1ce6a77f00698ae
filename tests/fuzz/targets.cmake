# The fuzz targets, one line each: the target's name, then its sources relative to the repository root.
# A target named fuzz_x keeps its corpus in tests/fuzz/corpus/fuzz_x/.
kelmor_fuzz_target(fuzz_samplerecords tests/fuzz/fuzz_samplerecords.cpp drive/stepfigures.cpp common/numtext.cpp)
