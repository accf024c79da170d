# Included from tests/CMakeLists.txt: the benchmark script with tiny sizes and one repeat, so that
# a change to the program or the script that breaks a benchmark step shows up in the tests. It
# times nothing and judges no figure; without its tools it reports itself skipped.
add_test(NAME bench_smoke
         COMMAND bash "${CMAKE_SOURCE_DIR}/bench/run.sh" --smoke --build-dir "${CMAKE_BINARY_DIR}")
set_tests_properties(bench_smoke PROPERTIES
    SKIP_RETURN_CODE 77
    TIMEOUT 300
    ENVIRONMENT "PIVOTTA_TESTDATA_DIR=${PIVOTTA_TESTDATA_DIR}")
