#!/bin/sh
# Console output lost to a full device must not end as success: every
# command run with standard output on /dev/full has to exit non-zero.
# Usage: full_device_test.sh path/to/korvex
set -u
korvex=$1
[ -w /dev/full ] || { echo "no /dev/full here"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src" "$work/out"
printf 'abc' > "$work/src/A.TXT"
"$korvex" c '/store=*' -- "$work/cat" "$work/src" > /dev/null 2>&1 || {
  echo "could not make the catalog"
  exit 1
}

failed=0
expect_failure() {
  what=$1
  shift
  "$korvex" "$@" > /dev/full 2> "$work/stderr"
  code=$?
  if [ "$code" -eq 0 ]; then
    echo "FAIL: $what exited 0 although its output was lost"
    failed=1
  else
    echo "ok: $what exited $code"
  fi
}
expect_failure "create" c -- "$work/again" "$work/src"
expect_failure "full listing" l -- "$work/cat.dir"
expect_failure "brief listing" l /fast -- "$work/cat.dir"
expect_failure "extract" e /overwrite -- "$work/cat.dir" A.TXT "$work/out/"
expect_failure "check" e -- "$work/cat.dir" A.TXT "$work/out/"

# A reader that went away is lost output too: exit 4 with a message, not a
# silent death by SIGPIPE.
# The reader is gone before the first byte is written.
{ sleep 0.5; "$korvex" l -- "$work/cat.dir" 2> "$work/stderr"; echo $? > "$work/code"; } | :
code=$(cat "$work/code")
if [ "$code" != 4 ] || ! grep -q "could not be written" "$work/stderr"; then
  echo "FAIL: a closed pipe gave exit $code"
  failed=1
else
  echo "ok: a closed pipe exited 4"
fi
exit $failed
