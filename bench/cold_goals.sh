# The cold goals of goals.sh, sourced by it with $korvex, $timed, $runs and
# the data directory as the working directory: every run starts with the
# page cache, dentries and inodes dropped, as on a medium just inserted.
# Wall time is the measure: the device is the cost.

declare -A best
# cold KEY COMMAND...: one run after dropping the caches; keeps the least
# wall time.
cold() {
  local key=$1 w c m code
  shift
  drop_caches
  read -r w c m code < <("$timed" -o /dev/null -- "$@")
  if [[ $code != 0 ]]; then
    echo "exit status $code from: $*" >&2
    exit 1
  fi
  if [[ -z ${best[$key]:-} ]] || awk -v a="$w" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
    best[$key]=$w
  fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
holds() { awk -v a="$1" -v b="$3" "BEGIN { exit !(a $2 b) }"; }
failed=0
verdict() {
  if "$@"; then echo "PASS"; else echo "FAIL"; failed=$((failed + 1)); fi
}
row() { printf "  %-48s %8.2f\n" "$1" "${best[$2]}"; }

mapfile -t big_files < <(find big -type f | LC_ALL=C sort)
device=$(df --output=source . | tail -1)
echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
  "Linux $(uname -r), $(df -T . | awk 'NR == 2 { print $2 }') on $device" \
  "(rotational $(cat "/sys/class/block/$(basename "$device")/queue/rotational" 2>/dev/null || echo '?'))"
echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs cold runs per tool," \
  "wall seconds"

for ((i = 0; i < runs; ++i)); do
  cold tree "$korvex" c cold.dir cold
  cold rhash rhash --crc32 -r cold
  cold off env KORVEX_READ_AHEAD=0 "$korvex" c cold.dir cold
done
echo
echo "Goal 11: create over 200,000 files of data in 2,000 directories, cold"
row "korvex c cold.dir cold" tree
row "rhash --crc32 -r cold" rhash
row "korvex c cold.dir cold, KORVEX_READ_AHEAD=0" off
speedup=$(ratio "${best[rhash]}" "${best[tree]}")
printf "  rhash / korvex %s (goal >= 2.5), without read-ahead %s: " \
  "$speedup" "$(ratio "${best[rhash]}" "${best[off]}")"
verdict holds "$speedup" ">=" 2.5

for ((i = 0; i < runs; ++i)); do
  cold cat cat "${big_files[@]}"
  cold big "$korvex" c big.dir big
done
echo
echo "Goal 12: create over 1 GiB in 4 files, cold"
row "cat FILES >/dev/null" cat
row "korvex c big.dir big" big
big_cat=$(ratio "${best[big]}" "${best[cat]}")
printf "  korvex / cat %s (goal <= 1): " "$big_cat"
verdict holds "$big_cat" "<=" 1

for ((i = 0; i < runs; ++i)); do
  cold fast "$korvex" c /fast fast.dir cold
  cold find find cold -printf '%s %T@ %p\n'
done
echo
echo "Goal 13: create /fast over the 200,000 files, cold"
row "korvex c /fast fast.dir cold" fast
row "find cold -printf '%s %T@ %p\\n'" find
fast_find=$(ratio "${best[fast]}" "${best[find]}")
printf "  korvex / find %s (goal <= 1): " "$fast_find"
verdict holds "$fast_find" "<=" 1

echo
if ((failed > 0)); then
  echo "$failed cold goal(s) failed"
  exit 1
fi
echo "all cold goals passed"
