#!/usr/bin/env bash
# The bash completion's answers for a table of command lines, in a scratch
# directory holding two catalogs, a directory and another file.
set -u
source "$1"
cd "$(mktemp -d)" && mkdir disc && touch a.dir B.DIR x.txt
failed=0
while IFS='|' read -r line want; do
  read -ra COMP_WORDS <<<"korvex $line"
  [[ $line == *' ' || -z $line ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _korvex
  got="${COMPREPLY[*]}"
  [[ $got == "$want" ]] || { echo "korvex $line: got '$got', want '$want'"; failed=1; }
done <<'TABLE'
|c u l e v d s --help --version
c /|/store= /max= /fast
s /d|/dirs /dupes
l |disc a.dir B.DIR
c /fast cat |disc
e x.dir |
e x.dir P |disc
e /mount=d|/mount=disc
d a.dir |disc a.dir B.DIR
s *x* |disc a.dir B.DIR
l -- /de|/dev
v /times a.dir |disc
x |
TABLE
rm -rf "$PWD"
exit $failed
