#!/usr/bin/env bash
# The bash completion's answers for the command lines of completion_test.table
# ("LINE|ANSWER"), in a scratch directory holding two catalogs, a directory and
# another file.
set -u
source "$1"
table=$(cd "$(dirname "$0")" && pwd)/completion_test.table
cd "$(mktemp -d)" && mkdir disc && touch a.dir B.DIR x.txt
failed=0
while IFS='|' read -r line want; do
  read -ra COMP_WORDS <<<"korvex $line"
  [[ $line == *' ' || -z $line ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _korvex
  got="${COMPREPLY[*]}"
  [[ $got == "$want" ]] || { echo "korvex $line: got '$got', want '$want'"; failed=1; }
done <"$table"
rm -rf "$PWD"
exit $failed
