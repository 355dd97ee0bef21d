# A test that only says why what it stands for was skipped (ctest counts it
# as skipped through SKIP_RETURN_CODE 77): -DWHY=<reason>
message("skipped: ${WHY}")
cmake_language(EXIT 77)
