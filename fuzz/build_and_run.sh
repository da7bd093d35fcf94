#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer into build-fuzz/ and runs each of them for the
# given number of seconds (default 30), one after the other, on one core.
#   fuzz/build_and_run.sh 30                  every target, 30 seconds each
#   fuzz/build_and_run.sh 600 image_reader    one target, 10 minutes
# Needs only clang, libclang-rt-14-dev and libfmt-dev (no CMake). The corpus grows in
# build-fuzz/corpus/<target> from the seeds in fuzz/seeds/<target>; a crash input is kept as
# build-fuzz/crashes/<target>-crash-<hash> and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
[ $# -gt 0 ] && shift
all=(device_file symbol_file image_reader ini_profile hostile_writer rolling)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

CXX="${CXX:-clang++}"
jobs="${JOBS:-2}"
out=build-fuzz
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined
       -Isrc -Ifuzz)
mkdir -p "$out/obj" "$out/crashes" "$out/logs"

compile() {
  local source="$1"
  "$CXX" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$source" -o "$out/obj/$(echo "$source" | tr / _).o"
}

# The core library as the build makes it (src/ less the Qt window, with the built-in strings),
# made again whenever a file under src/, resources/ or fuzz/ changed since the last build.
stamp="$out/build.stamp"
if [ ! -f "$stamp" ] || [ -n "$(find src resources fuzz -newer "$stamp" -type f -print -quit)" ]; then
  echo "+ building the fuzz targets in $out/"
  rm -f "$out"/obj/*.o "$out/libcore.a"
  running=0
  for source in src/{platform,ui_text,image,link,writer_ops,rolling,device_select,app}/*.cpp \
                resources/builtin_strings.cpp; do
    [ -f "$source" ] || continue
    compile "$source" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
  done
  while [ "$running" -gt 0 ]; do wait -n; running=$((running - 1)); done
  ar rcs "$out/libcore.a" "$out"/obj/*.o
  for t in "${all[@]}"; do
    "$CXX" "${flags[@]}" -fsanitize=fuzzer "fuzz/fuzz_$t.cpp" "$out/libcore.a" -lfmt -ldl -pthread -o "$out/fuzz_$t"
  done
  touch "$stamp"
fi

status=0
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  log="$out/logs/$t.log"
  mkdir -p "$corpus"
  echo "+ fuzz_$t for ${seconds}s"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  set +e
  ASAN_OPTIONS=detect_leaks=1 "$out/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$out/crashes/$t-" "$corpus" "fuzz/seeds/$t" >"$log" 2>&1
  result=$?
  set -e
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$log" || true
  if [ "$result" -ne 0 ]; then
    echo "fuzz_$t failed (exit $result); the end of $log:" >&2
    tail -n 40 "$log" >&2
    status=1
  fi
done
exit "$status"
