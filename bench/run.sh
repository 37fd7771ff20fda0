#!/usr/bin/env bash
# Benchmark: times bin2dd as a whole process against the floor of its
# write-per-line policy, line-buffered hexdump (same bytes, same durability),
# and fully buffered hexdump and xxd -i for reference, on an empty input and
# 4 KiB, 64 KiB, 1 MiB and 16 MiB of random bytes. Runs are interleaved: every
# round runs each tool once, in a rotating order, so that load on the machine
# falls on all alike; hyperfine times each run without a shell in between,
# which on small inputs would cost more than the run itself. Also measures
# peak memory, instructions per line under callgrind, and the writer's own
# cost per line in memory. Writes build/bench/results.md and
# build/bench/bench.png; with --update-docs it also replaces the tracked
# docs/bench.png.
#
# Needs: cmake ninja-build g++ libbenchmark-dev bsdextrautils xxd time
#        valgrind gnuplot-nox hyperfine coreutils.
# Rounds per size: BENCH_ROUNDS="201 201 31 11 5".
set -euo pipefail
plot=build
case ${1:-} in
--update-docs) plot=docs ;;
"") ;;
*)
  echo "usage: bench/run.sh [--update-docs]" >&2
  exit 2
  ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
build=$root/build/bench
work=$build/work
mkdir -p "$work"
rm -f "$work"/*

sizes=(0 4096 65536 1048576 16777216)
names=("0 B" "4 KiB" "64 KiB" "1 MiB" "16 MiB")
read -r -a rounds <<<"${BENCH_ROUNDS:-201 201 31 11 5}"
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

# The same runs as command lines for hyperfine, which splits them itself;
# what the tools print goes to a file, as above. Paths must hold no spaces.
commandOf() {
  local tool=$1 in=$2
  case $tool in
  bin2dd) echo "$build/bin2dd $in" ;;
  floor) echo "$build/bench/bin2dd_floor $in $work/out.floor" ;;
  hexdump-lines) echo "stdbuf -oL hexdump -v -e '$format' $in" ;;
  hexdump) echo "hexdump -v -e '$format' $in" ;;
  xxd-i) echo "xxd -i $in" ;;
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
    order=()
    commands=()
    for ((k = 0; k < ${#tools[@]}; k++)); do
      tool=${tools[$(((round + k) % ${#tools[@]}))]}
      order+=("$tool")
      commands+=("$(commandOf "$tool" "$in")")
    done
    hyperfine -N --runs 1 --output "$work/out.stdout" --export-json "$work/round.json" \
      "${commands[@]}" >/dev/null 2>&1
    # With one run, each command's mean is its time in seconds, in the order given.
    grep -o '"mean": [0-9.e+-]*' "$work/round.json" | awk '{ print $2 }' |
      paste <(printf '%s\n' "${order[@]}") - |
      awk -v s="$size" -v r="$round" -F'\t' '{ printf "%s\t%s\t%s\t%s\n", s, $1, r, $2 }' >>"$times"
  done
done

# Instructions per line under callgrind, without the start-up: the count for
# 1 MiB less the count for an empty input, over 262144 lines.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    awk '/Collected :/ { print $NF }'
}
lines=$((1048576 / 4))
perLine() {
  local full empty
  full=$(instructions "$@" "$work/in-1048576.bin" "${extra[@]}")
  empty=$(instructions "$@" "$work/in-0.bin" "${extra[@]}")
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

# Time against input size, one line per tool; the sizes are evenly spaced
# categories, since 0 B has no place on a logarithmic axis.
: >"$work/plot.tsv"
for tool in "${tools[@]}"; do
  for i in "${!sizes[@]}"; do
    awk -v s="${sizes[$i]}" -v t="$tool" -v x="$i" '$1 == s && $2 == t { print x, $3 }' "$work/medians.tsv" >>"$work/plot.tsv"
  done
  printf '\n\n' >>"$work/plot.tsv"
done
if [ "$plot" = docs ]; then png=$root/docs/bench.png; else png=$build/bench.png; fi
gnuplot <<GNUPLOT
set terminal pngcairo size 800,500 font ",10"
set output "$png"
set title "Median wall time against input size"
set logscale y
set xrange [-0.3:4.3]
set xtics ("0 B" 0, "4 KiB" 1, "64 KiB" 2, "1 MiB" 3, "16 MiB" 4)
set xlabel "input"
set ylabel "time (ms)"
set key top left
set grid
plot for [i=0:4] "$work/plot.tsv" index i using 1:2 with linespoints title word("bin2dd floor hexdump-line-buffered hexdump xxd-i", i + 1)
GNUPLOT
echo "Plot: $png"
