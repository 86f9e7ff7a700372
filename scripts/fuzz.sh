#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang's libFuzzer and runs each in turn from its seed corpus
# (tests/fuzz/corpus/NAME; the inputs it adds gather in build/fuzz/corpus/NAME, findings in
# build/fuzz/findings/).
#   scripts/fuzz.sh SECONDS    each target for SECONDS under AddressSanitizer and UndefinedBehaviorSanitizer
#   scripts/fuzz.sh            each target for 10^7 inputs, under UndefinedBehaviorSanitizer and the standard
#                              library's checks (AddressSanitizer would take hours), then every input of
#                              its corpus once more under both sanitizers
# Clang reads sources as UTF-8 and cannot compile texts into code page 936 as gcc does for the .exe, so
# it is handed a copy of the sources converted to code page 936: its string literals then hold the same
# bytes. The conversion is refused if it would make a byte that reads as a backslash.
set -euo pipefail
cd "$(dirname "$0")/.."

src=build/fuzz-src
while IFS= read -r file; do
  mkdir -p "$src/$(dirname "$file")"
  iconv -f UTF-8 -t CP936 "$file" > "$src/$file.new"
  if [ "$(tr -cd '\\' < "$file" | wc -c)" != "$(tr -cd '\\' < "$src/$file.new" | wc -c)" ]; then
    echo "fuzz.sh: $file has a character whose code page 936 form holds a backslash byte" >&2; exit 1
  fi
  cmp -s "$src/$file.new" "$src/$file" && rm "$src/$file.new" || mv "$src/$file.new" "$src/$file"
done < <(git ls-files -co --exclude-standard -- CMakeLists.txt framework link console ports res view cli tools/sim \
         tests/unit tests/fuzz | grep -E '\.(cpp|h)$|CMakeLists\.txt$' | grep -v /corpus/)

targets=$(sed -n 's/^foreach(name \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt)
build() {  # build DIR SANITIZERS [FLAGS]
  cmake -S "$src" -B "$1" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,$2 -fno-sanitize-recover=all -Wno-invalid-source-encoding ${3:-}" >/dev/null
  cmake --build "$1" -j2 --target $(printf 'fuzz_%s ' $targets)
}
build build/fuzz address,undefined,float-cast-overflow
if [ -n "${1:-}" ]; then
  binaries=build/fuzz limit=-max_total_time=$1
else
  build build/fuzz-long undefined,float-cast-overflow -D_GLIBCXX_ASSERTIONS
  binaries=build/fuzz-long limit=-runs=10000000
fi

mkdir -p build/fuzz/findings
status=0
for name in $targets; do
  corpus=(build/fuzz/corpus/$name tests/fuzz/corpus/$name)
  mkdir -p "${corpus[0]}"
  # A script of 128 bytes already holds a dozen exchanges; longer ones only slow the search.
  [ "$name" = replies ] && length=128 || length=512
  log=build/fuzz/$name.log
  if ASAN_OPTIONS=malloc_context_size=0 $binaries/tests/fuzz/fuzz_$name $limit -max_len=$length -print_final_stats=1 \
       -artifact_prefix=build/fuzz/findings/$name- "${corpus[@]}" > "$log" 2>&1 &&
     { [ -n "${1:-}" ] || build/fuzz/tests/fuzz/fuzz_$name -runs=0 "${corpus[@]}" >> "$log" 2>&1; }; then
    result=passed
  else
    result=FAILED status=1
    tail -n 30 "$log"
  fi
  echo "fuzz_$name: $result, $(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | head -n 1 | grep -o '[0-9]*$')" \
       "executions, $(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -n 1)"
done
exit $status
