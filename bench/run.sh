#!/usr/bin/env bash
# Benchmark: times bin2dd as a whole process against the floor of its
# write-per-line policy, line-buffered hexdump (same bytes, same durability),
# and fully buffered hexdump and xxd -i for reference, on 64 KiB, 1 MiB and
# 16 MiB of random bytes. Runs are interleaved: every round runs each tool
# once, in a rotating order, so that load on the machine falls on all alike.
# Also measures peak memory, instructions per line under callgrind, and the
# writer's own cost per line in memory. Writes build/bench/results.md and
# docs/bench.png.
#
# Needs: cmake ninja-build g++ libbenchmark-dev bsdextrautils xxd time
#        valgrind gnuplot-nox coreutils. Rounds: BENCH_ROUNDS="30 10 5".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
build=$root/build/bench
work=$build/work
mkdir -p "$work"
rm -f "$work"/*

sizes=(65536 1048576 16777216)
names=("64 KiB" "1 MiB" "16 MiB")
read -r -a rounds <<<"${BENCH_ROUNDS:-30 10 5}"
tools=(bin2dd floor hexdump-lines hexdump xxd-i)
format='"dd 0" 1/4 "%08xh\r\n"'

# Runs tool $1 on input $2, behind the command prefix given after them (for
# /usr/bin/time); the output goes to $work/out.<tool>, but for bin2dd, whose
# output lies beside its input.
runTool() {
  local tool=$1 in=$2
  shift 2
  case $tool in
  bin2dd) "$@" "$build/bin2dd" "$in" >/dev/null ;;
  floor) "$@" "$build/bench/bin2dd_floor" "$in" "$work/out.floor" ;;
  hexdump-lines) "$@" stdbuf -oL hexdump -v -e "$format" "$in" >"$work/out.hexdump-lines" ;;
  hexdump) "$@" hexdump -v -e "$format" "$in" >"$work/out.hexdump" ;;
  xxd-i) "$@" xxd -i "$in" >"$work/out.xxd-i" ;;
  esac
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

times=$work/times.tsv
memory=$work/memory.tsv
: >"$times"
: >"$memory"
for i in "${!sizes[@]}"; do
  size=${sizes[$i]}
  in=$work/in-$size.bin
  "$build/bench/bin2dd_make_input" "$size" 20240819 >"$in"
  for tool in "${tools[@]}"; do
    runTool "$tool" "$in"
  done
  for tool in floor hexdump-lines hexdump; do
    cmp -s "${in%.*}.INC" "$work/out.$tool" || { echo "bin2dd and $tool differ on $size bytes" >&2; exit 1; }
  done
  for tool in "${tools[@]}"; do
    runTool "$tool" "$in" /usr/bin/time -f %M -o "$work/kib"
    printf '%s\t%s\t%s\n' "$size" "$tool" "$(tail -n 1 "$work/kib")" >>"$memory"
  done
  echo "${names[$i]}: ${rounds[$i]} rounds" >&2
  for ((round = 0; round < rounds[i]; round++)); do
    for ((k = 0; k < ${#tools[@]}; k++)); do
      tool=${tools[$(((round + k) % ${#tools[@]}))]}
      start=$EPOCHREALTIME
      runTool "$tool" "$in"
      end=$EPOCHREALTIME
      printf '%s\t%s\t%s\t%s\n' "$size" "$tool" "$round" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" >>"$times"
    done
  done
done

# Instructions per line under callgrind, without the start-up: the count for
# 1 MiB less the count for an empty input, over 262144 lines.
: >"$work/empty.bin"
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    awk '/Collected :/ { print $NF }'
}
lines=$((1048576 / 4))
perLine() {
  local full empty
  full=$(instructions "$@" "$work/in-1048576.bin" "${extra[@]}")
  empty=$(instructions "$@" "$work/empty.bin" "${extra[@]}")
  awk -v f="$full" -v e="$empty" -v n="$lines" 'BEGIN { printf "%.0f", (f - e) / n }'
}
extra=()
irBin2dd=$(perLine "$build/bin2dd")
extra=("$work/out.floor")
irFloor=$(perLine "$build/bench/bin2dd_floor")

# The writer's own cost per line, in memory, without the system call.
linesPerSecond=$("$build/bench/bin2dd_writer_bench" --benchmark_filter='/1048576' --benchmark_format=csv 2>/dev/null |
  awk -F, '$1 == "name" { for (i = 1; i <= NF; i++) if ($i == "items_per_second") column = i }
           /writeIncludeInMemory/ { printf "%.1f", $column / 1e6 }')

results=$build/results.md
{
  echo "Machine: $(nproc) cores, $(awk '/model name/ { $1 = $2 = $3 = ""; print; exit }' /proc/cpuinfo | sed 's/^ *//'), $(uname -sr); $(date -u +%Y-%m-%d)."
  echo
  echo "Median wall time per run in ms (rounds per size: ${rounds[*]}):"
  echo
  echo "| input | bin2dd | floor | hexdump, line-buffered | hexdump | xxd -i | bin2dd/floor | bin2dd/line-buffered hexdump |"
  echo "|---|---|---|---|---|---|---|---|"
  for i in "${!sizes[@]}"; do
    size=${sizes[$i]}
    row="| ${names[$i]} |"
    for tool in "${tools[@]}"; do
      ms=$(awk -v s="$size" -v t="$tool" '$1 == s && $2 == t { print $4 * 1000 }' "$times" | median)
      row="$row $(printf '%.1f' "$ms") |"
      printf '%s\t%s\t%s\n' "$size" "$tool" "$ms" >>"$work/medians.tsv"
    done
    for other in floor hexdump-lines; do
      ratio=$(awk -v s="$size" -v t="$other" -F'\t' '
        $1 == s && $2 == "bin2dd" { a[$3] = $4 } $1 == s && $2 == t { b[$3] = $4 }
        END { for (r in a) print a[r] / b[r] }' "$times" | median)
      row="$row $(printf '%.3f' "$ratio")x |"
    done
    echo "$row"
  done
  echo
  echo "Peak resident memory in KiB (/usr/bin/time -f %M):"
  echo
  echo "| input | bin2dd | floor | hexdump, line-buffered | hexdump | xxd -i |"
  echo "|---|---|---|---|---|---|"
  for i in "${!sizes[@]}"; do
    row="| ${names[$i]} |"
    for tool in "${tools[@]}"; do
      row="$row $(awk -v s="${sizes[$i]}" -v t="$tool" '$1 == s && $2 == t { print $3 }' "$memory") |"
    done
    echo "$row"
  done
  echo
  echo "Instructions per line (callgrind, 1 MiB less an empty input): bin2dd $irBin2dd, floor $irFloor."
  echo "Include writer in memory (Google Benchmark, 1 MiB): $linesPerSecond million lines per second."
} >"$results"
cat "$results"

# Time against input size, one line per tool.
: >"$work/plot.tsv"
for tool in "${tools[@]}"; do
  awk -v t="$tool" '$2 == t { print $1 / 1024, $3 }' "$work/medians.tsv" >>"$work/plot.tsv"
  printf '\n\n' >>"$work/plot.tsv"
done
gnuplot <<GNUPLOT
set terminal pngcairo size 800,500 font ",10"
set output "$root/docs/bench.png"
set title "Median wall time against input size"
set logscale xy
set xrange [32:32768]
set xtics ("64 KiB" 64, "1 MiB" 1024, "16 MiB" 16384)
set xlabel "input"
set ylabel "time (ms)"
set key top left
set grid
plot for [i=0:4] "$work/plot.tsv" index i using 1:2 with linespoints title word("bin2dd floor hexdump-line-buffered hexdump xxd-i", i + 1)
GNUPLOT
echo "Plot: docs/bench.png"
