# The checks of the host tool's test scripts, sourced by them. Needs $tool (the host tool)
# and counts failures in $failures.
exec_wine=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine-exec.sh
failures=0

# check NAME STATUS PATTERN ARGS...: runs the tool with ARGS, expects exit STATUS and output
# (stdout and stderr) matching the extended regular expression PATTERN.
check() {
  local name=$1 status=$2 pattern=$3
  shift 3
  local output rc
  output=$("$exec_wine" "$tool" "$@" 2>&1)
  rc=$?
  if [ "$rc" -ne "$status" ] || ! grep -Eq -- "$pattern" <<<"$output"; then
    echo "FAIL $name: exit $rc (expected $status), output:"
    sed 's/^/    /' <<<"$output"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# expect NAME CONDITION...: a plain shell test on the files the tool wrote.
expect() {
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
