#!/usr/bin/env bash
# Process-level load benchmark: a fresh process per load of the generated
# 1M-vertex / 2M-face torus (binary little-endian and ASCII) into MeshT1 and
# MeshT5, with the floor under any reader (reading the file into memory, and
# a straight-line conversion of the binary file into plain arrays).
# Prints medians of the whole process's wall time, of the load inside it, and
# of the process's peak resident memory.
#
#   bench/ply_load_process.sh [build folder] [runs]
set -euo pipefail

build=${1:-build}
runs=${2:-9}
once="$build/bench/ply_load_once"
data=${QUARNEL_BENCH_DATA:-${TMPDIR:-/tmp}/quarnel-load-bench}
[[ -x $once ]] || { echo "no $once: build first (make build)"; exit 1; }
mkdir -p "$data"
bin="$data/torus_binary_little_endian.ply"
asc="$data/torus_ascii.ply"
[[ -f $bin && -f $asc ]] || "$once" gen "$data"

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

cases=("read $bin" "convert $bin" "t1 $bin" "t5 $bin" "read $asc" "t1 $asc" "t5 $asc")
declare -A wall inner rss
for ((run = 0; run < runs; ++run)); do
  # Interleaved, so that a slow moment of the machine touches every case.
  for c in "${cases[@]}"; do
    set -- $c
    t0=$EPOCHREALTIME
    out=$("$once" "$1" "$2")
    t1=$EPOCHREALTIME
    read -r ms mb <<<"$out"
    wall[$c]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", (b - a) * 1000}') "
    inner[$c]+="$ms "
    rss[$c]+="$mb "
  done
done

printf '%-9s %-8s %-22s %12s %10s %10s\n' file what "" process_ms load_ms peak_MB
for c in "${cases[@]}"; do
  set -- $c
  case $1 in
    read) label="floor: read file" ;;
    convert) label="floor: convert" ;;
    t1) label="MeshT1" ;;
    t5) label="MeshT5" ;;
  esac
  kind=binary; [[ $2 == "$asc" ]] && kind=ascii
  printf '%-9s %-8s %-22s %12s %10s %10s\n' "$kind" "$1" "$label" \
    "$(tr ' ' '\n' <<<"${wall[$c]}" | grep . | median)" \
    "$(tr ' ' '\n' <<<"${inner[$c]}" | grep . | median)" \
    "$(tr ' ' '\n' <<<"${rss[$c]}" | grep . | median)"
done
