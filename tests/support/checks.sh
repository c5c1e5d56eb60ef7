# Helpers of the shell tests, sourced: counted checks and waits with a deadline.
# check NAME COMMAND...: runs COMMAND, counts it as passed or failed (and names a failure).
passed=0
failed=0
check() {
  local name="$1"
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

# wait_for FILE PATTERN SECONDS: true as soon as FILE holds a line matching PATTERN; false when
# the deadline passes first.
wait_for() {
  local deadline=$((SECONDS + $3))
  while [ $SECONDS -lt $deadline ]; do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# The closing line, and the exit status of the test.
finish_checks() {
  echo "$passed passed, $failed failed"
  test "$failed" -eq 0
}
