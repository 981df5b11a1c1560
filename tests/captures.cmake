# The receiver captures live beside the repository, not in it; without them
# every test that reads one skips on its own. This test makes their absence
# one visible line of the summary ("receiver_captures ... Skipped"), so a
# green run without them is not taken for a full one.
add_test(NAME receiver_captures
  COMMAND sh -c "if [ -d \"$1\" ]; then echo \"receiver captures in $1\"; \
else echo \"capture tests skipped: $1 not found\"; exit 77; fi" sh "${KIV_TESTDATA_DIR}/receivers")
set_tests_properties(receiver_captures PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 10)
