#!/usr/bin/env bash
# Process-level load benchmark: a fresh process per load of the generated
# 1M-vertex / 2M-face torus (binary little-endian and ASCII) into MeshT1 and
# MeshT5, with the floors under any reader: reading the file into memory, a
# straight-line conversion of the binary file into plain arrays, and filling
# fresh MeshT1 / MeshT5 arrays of the file's size with default records.
# Prints medians of the whole process's wall time, of the load inside it, and
# of the process's peak resident memory.
#
#   bench/ply_load_process.sh [runs] [build folder...]
#
# With several build folders (say one of an older revision) the runs of all
# of them are interleaved, so that a busy moment of the machine falls on
# every build alike.
set -euo pipefail

runs=${1:-9}
shift || true
builds=("$@")
[[ ${#builds[@]} -gt 0 ]] || builds=(build)
for b in "${builds[@]}"; do
  [[ -x $b/bench/ply_load_once ]] || { echo "no $b/bench/ply_load_once: build first (make build)"; exit 1; }
done
data=${QUARNEL_BENCH_DATA:-${TMPDIR:-/tmp}/quarnel-load-bench}
mkdir -p "$data"
bin="$data/torus_binary_little_endian.ply"
asc="$data/torus_ascii.ply"
[[ -f $bin && -f $asc ]] || "${builds[0]}/bench/ply_load_once" gen "$data"

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

cases=("read $bin" "convert $bin" "fill1 $bin" "fill5 $bin" "t1 $bin" "t5 $bin" "read $asc" "t1 $asc" "t5 $asc")
declare -A wall inner rss
for ((run = 0; run < runs; ++run)); do
  for c in "${cases[@]}"; do
    for b in "${builds[@]}"; do
      set -- $c
      t0=$EPOCHREALTIME
      out=$("$b/bench/ply_load_once" "$1" "$2")
      t1=$EPOCHREALTIME
      read -r ms mb <<<"$out"
      wall[$b $c]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", (b - a) * 1000}') "
      inner[$b $c]+="$ms "
      rss[$b $c]+="$mb "
    done
  done
done

for b in "${builds[@]}"; do
  echo "== $b ($runs runs, medians)"
  printf '%-7s %-22s %11s %8s %8s\n' file what process_ms load_ms peak_MB
  for c in "${cases[@]}"; do
    set -- $c
    case $1 in
      read) label="floor: read the file" ;;
      convert) label="floor: convert" ;;
      fill1) label="floor: MeshT1 memory" ;;
      fill5) label="floor: MeshT5 memory" ;;
      t1) label="MeshT1" ;;
      t5) label="MeshT5" ;;
    esac
    kind=binary; [[ $2 == "$asc" ]] && kind=ascii
    printf '%-7s %-22s %11s %8s %8s\n' "$kind" "$label" \
      "$(tr ' ' '\n' <<<"${wall[$b $c]}" | grep . | median)" \
      "$(tr ' ' '\n' <<<"${inner[$b $c]}" | grep . | median)" \
      "$(tr ' ' '\n' <<<"${rss[$b $c]}" | grep . | median)"
  done
done
