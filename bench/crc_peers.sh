#!/usr/bin/env bash
# Sets korvex's CRC-32 beside other CRC-32 tools, in one run:
#  - the kernels on a 256 KiB buffer in cache (korvex_bench, per level);
#  - whole tools over a 1 GiB file in the page cache: cat >/dev/null (the
#    read ceiling), korvex_crcfile, rhash --crc32, cksfv, python3 zlib.crc32.
# Every tool must print the same CRC-32 of the file, or the script fails.
#
# Usage: bench/crc_peers.sh [build-dir]   (configured -DKORVEX_BUILD_BENCHMARKS=ON)
# KORVEX_PEERS_FILE names the 1 GiB file (default under $TMPDIR or /tmp); it
# is made from /dev/urandom when missing and kept for later runs.
# KORVEX_PEERS_RUNS sets how many timed runs each tool gets (best is kept).
set -euo pipefail

build=${1:-build}
bench=$build/bench/korvex_bench
crcfile=$build/bench/korvex_crcfile
file=${KORVEX_PEERS_FILE:-${TMPDIR:-/tmp}/korvex-peers-1GiB.bin}
runs=${KORVEX_PEERS_RUNS:-3}
size=$((1024 * 1024 * 1024))

for tool in "$bench" "$crcfile"; do
  [[ -x $tool ]] || { echo "missing $tool: build with -DKORVEX_BUILD_BENCHMARKS=ON" >&2; exit 1; }
done
for tool in rhash cksfv python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

if [[ ! -f $file || $(stat -c %s "$file") -ne $size ]]; then
  echo "making $file ..." >&2
  head -c "$size" /dev/urandom >"$file"
fi
cat "$file" >/dev/null  # into the page cache

# Each tool prints the CRC-32 of the file as its last word.
tool_cat() { cat "$file" >/dev/null; echo -; }
tool_korvex() { "$crcfile" "$file" | awk '{print $1}'; }
tool_rhash() { rhash --crc32 "$file" | tail -n 1 | awk '{print $NF}'; }
tool_cksfv() { cksfv "$file" | tail -n 1 | awk '{print $NF}'; }
tool_zlib() {
  python3 - "$file" <<'EOF'
import sys, zlib
crc = 0
with open(sys.argv[1], "rb", buffering=0) as f:
    buf = bytearray(1 << 20)
    view = memoryview(buf)
    while n := f.readinto(buf):
        crc = zlib.crc32(view[:n], crc)
print("%08x" % crc)
EOF
}
order=(cat korvex rhash cksfv zlib)

# Times are CPU time (user + system) of the tool: on a shared machine they
# vary far less than wall time, and for a file in the page cache they are
# the whole cost.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
TIMEFORMAT='%3U %3S'
declare -A best crc
for name in "${order[@]}"; do
  for ((i = 0; i < runs; ++i)); do
    read -r user sys < <({ time "tool_$name" >"$out"; } 2>&1)
    ns=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1e9 }')
    if [[ -z ${best[$name]:-} || $ns -lt ${best[$name]} ]]; then best[$name]=$ns; fi
  done
  last=$(<"$out")
  crc[$name]=$(tr 'A-F' 'a-f' <<<"${last##* }")
done

for name in korvex rhash cksfv; do
  if [[ ${crc[$name]} != "${crc[zlib]}" ]]; then
    echo "CRC mismatch: $name ${crc[$name]}, zlib ${crc[zlib]}" >&2
    exit 1
  fi
done

gbps() { awk -v b="$size" -v ns="$1" 'BEGIN { printf "%.2f", b / ns }'; }

row() {  # name GB/s base-for-column-1 base-for-column-2
  awk -v n="$1" -v r="$2" -v a="$3" -v b="$4" \
    'BEGIN { printf "%-36s %8.2f %9.2f %9.2f\n", n, r, r / a, r / b }'
}

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "file CRC-32: ${crc[zlib]} (all tools agree)"

cat_rate=$(gbps "${best[cat]}")
zlib_rate=$(gbps "${best[zlib]}")
echo
echo "Whole tools, 1 GiB file in page cache, best of $runs (CPU time):"
printf "%-36s %8s %9s %9s\n" "" "GB/s" "x zlib" "x cat"
row "  cat >/dev/null" "$cat_rate" "$zlib_rate" "$cat_rate"
row "  korvex_crcfile (256 KiB reads)" "$(gbps "${best[korvex]}")" "$zlib_rate" "$cat_rate"
row "  rhash --crc32" "$(gbps "${best[rhash]}")" "$zlib_rate" "$cat_rate"
row "  cksfv" "$(gbps "${best[cksfv]}")" "$zlib_rate" "$cat_rate"
row "  python3 zlib.crc32 (1 MiB reads)" "$zlib_rate" "$zlib_rate" "$cat_rate"

# zlib's own kernel on the same size of buffer, for the kernel ratios.
zlib_kernel=$(python3 - <<'EOF'
import os, time, zlib
buf = os.urandom(256 * 1024)
best = 0.0
for _ in range(5):
    start = time.process_time()
    crc = 0
    for _ in range(2000):
        crc = zlib.crc32(buf, crc)
    best = max(best, 2000 * len(buf) / (time.process_time() - start))
print("%.2f" % (best / 1e9))
EOF
)
# One "level GB/s" line per level; column 6 of the CSV is bytes per second.
mapfile -t kernels < <(
  "$bench" --benchmark_filter='^Crc32/.*/262144$' --benchmark_format=csv 2>/dev/null |
  awk -F, '/^"Crc32\// { gsub(/"/, "", $1); split($1, part, "/");
                          printf "%s %s\n", part[2], ($6 == "" ? "n/a" : $6 / 1e9) }')
portable_rate=
for line in "${kernels[@]}"; do
  if [[ $line == "portable "* ]]; then portable_rate=${line#portable }; fi
done

echo
echo "Kernels, 256 KiB buffer in cache (CPU time):"
printf "%-36s %8s %9s %9s\n" "" "GB/s" "x zlib" "x portable"
row "  python3 zlib.crc32" "$zlib_kernel" "$zlib_kernel" "$portable_rate"
for line in "${kernels[@]}"; do
  read -r level rate <<<"$line"
  if [[ $rate == n/a ]]; then
    printf "  %-34s %8s\n" "$level" "n/a"
  else
    row "  $level" "$rate" "$zlib_kernel" "$portable_rate"
  fi
done
