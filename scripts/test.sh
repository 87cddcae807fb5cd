#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: once in the
# optimised build, the golden pictures' digests from an aarch64 build run
# under qemu-user, the threaded render tests under ThreadSanitizer, a
# comparison of the pictures two builds (and two compilers) paint, the suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer, and last a
# fixed number of fuzzing runs on each reader.
#
#   scripts/test.sh            everything, as CI runs it
#   scripts/test.sh --quick    the optimised build and its suite only, without
#                              the packaging and the Slurm test: the
#                              edit-build-test loop
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
bash scripts/setup.sh --tests
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"
SECONDS=0
# Each step's start, so that a slow step shows where the time goes.
step() { printf '\n== %dm%02ds: %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }
# The checking trees keep line tables, enough for every report's stack, and no
# more debug information: it is most of their compile time. They are built
# with clang, which compiles them in about two thirds of g++'s time (and so
# checks the pictures' independence of the compiler, below), and linked with
# lld.
checking=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
          -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
          -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld)

# One style: the code as .clang-format writes it (the generated math tables
# aside). A change it would make fails here, before anything is built.
step "the style"
git ls-files '*.cpp' '*.h' | grep -vx 'src/math/tables.cpp' | xargs -r clang-format --dry-run --Werror --style=file ||
  { echo "code not in the house style: run clang-format -i on the files above"; exit 1; }

step "the optimised build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
if $quick; then
  (cd build && ctest --output-on-failure -j"$jobs" -LE 'packaging|cluster')
  exit 0
fi
tmp="$(mktemp -d)"
builder=""
fuzzing=""
# A run that stops early stops what runs behind it too: the builds and the
# fuzzers, each job its own process group (the compilers under a build too).
trap 'for job in $builder $fuzzing; do kill -- -"$job" 2>/dev/null || true; done; rm -rf "$tmp"' EXIT

# The other trees are built behind the optimised build's tests, at the lowest
# priority: the tests wait on windows, child processes and timers for about
# half their time, which these builds take, and whatever the tests want goes
# to the tests. Each tree's build ends in a file of its own; a step that
# needs the tree waits for it and shows its output.
set -m
(
  built() { # tree target... : builds, and tells how it went in $tmp/tree.done
    local tree="$1"
    shift
    if nice -n 19 cmake --build "$tree" -j"$jobs" --target "$@" >"$tmp/$tree.log" 2>&1; then
      echo 0 >"$tmp/$tree.done"
    else
      echo 1 >"$tmp/$tree.done"
    fi
  }
  cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DGLIMRA_CORE_ONLY=ON \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  built build-aarch64 glimra-digest
  cmake -S . -B build-tsan "${checking[@]}" -DGLIMRA_TSAN=ON >/dev/null
  built build-tsan test_frame test_parallel test_golden test_reference_pixels
  # The sanitizer tree builds the test programs and what they run, and the
  # readers' fuzz targets (which need clang's libFuzzer), nothing else.
  cmake -S . -B build-san "${checking[@]}" -DGLIMRA_SANITIZE=ON -DGLIMRA_FUZZ=ON >/dev/null
  built build-san glimra_tests fuzz_numtext fuzz_recipe fuzz_formula fuzz_band
) &
builder=$!
set +m
# Waits for a tree's build and shows it; a failed build fails the run.
await() {
  while [ ! -e "$tmp/$1.done" ]; do
    kill -0 "$builder" 2>/dev/null || { echo "the build of $1 did not end"; exit 1; }
    sleep 1
  done
  cat "$tmp/$1.log"
  [ "$(cat "$tmp/$1.done")" = 0 ] || { echo "the build of $1 failed"; exit 1; }
}

step "its suite"
(cd build && ctest --output-on-failure -j"$jobs")

# The same pictures on another processor: the core alone, cross-built for
# aarch64 and run under qemu-user, prints the digests of the golden pictures
# and of the formulas' unrounded components, and must print what this
# machine's build prints (whose digests test_golden and test_digest_golden
# have just checked). The small sets only: emulated, the M and L pictures take
# minutes each. Then this build once more with the C library kept to its code
# paths without fused multiply-add, which nothing in a picture may depend on.
step "aarch64 under qemu, the C library without FMA, each column scan width"
await build-aarch64
sets=reset,offset,fault,formula
build/glimra-digest --sets "$sets" >"$tmp/x86-64.txt" || { echo "glimra-digest failed"; exit 1; }
pictures="$(wc -l <"$tmp/x86-64.txt")"
[ "$pictures" -gt 0 ] || { echo "glimra-digest printed no pictures"; exit 1; }
# As the toolchain file runs target programs: the cross C library throughout.
# Under a minute per width; a hang must not hold CI for its whole time. The
# widest width (NEON's two lanes), which the program must report taking,
# then one lane.
for width in 2 1; do
  start=$SECONDS
  GLIMRA_LANES=$width timeout 900 qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib \
    build-aarch64/glimra-digest --threads "$jobs" --sets "$sets" >"$tmp/aarch64-$width.txt" 2>"$tmp/aarch64-$width.err" || {
    cat "$tmp/aarch64-$width.err"
    echo "glimra-digest failed or did not finish in 15 minutes under qemu-aarch64 (GLIMRA_LANES=$width)"
    exit 1
  }
  if ! grep -qx "lanes $width" "$tmp/aarch64-$width.err"; then
    cat "$tmp/aarch64-$width.err"
    echo "glimra-digest under qemu-aarch64 did not take $width lanes"
    exit 1
  fi
  if ! diff --label x86-64 --label "aarch64, GLIMRA_LANES=$width" -u "$tmp/x86-64.txt" "$tmp/aarch64-$width.txt"; then
    echo "pictures differ between aarch64 (qemu, GLIMRA_LANES=$width) and x86-64"
    exit 1
  fi
  echo "$pictures digests identical on aarch64 (qemu, GLIMRA_LANES=$width) and x86-64 ($((SECONDS - start)) s under qemu)"
done
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4 build/glimra-digest --sets "$sets" >"$tmp/no-fma.txt" ||
  { echo "glimra-digest failed without fused multiply-add"; exit 1; }
if ! diff --label x86-64 --label "x86-64 without FMA" -u "$tmp/x86-64.txt" "$tmp/no-fma.txt"; then
  echo "pictures differ when the C library does without fused multiply-add"
  exit 1
fi
echo "$pictures digests identical with and without the C library's fused multiply-add"

# Every golden picture on every narrower column scan this machine has, forced
# through GLIMRA_LANES, must give the widest scan's lines (which
# test_digest_golden has checked against the recorded table).
build/glimra-digest --threads "$jobs" >"$tmp/widest.txt" 2>"$tmp/widest.err"
widest="$(sed -n 's/^lanes //p' "$tmp/widest.err")"
for w in 1 2 4 8; do
  [ "$w" -lt "$widest" ] || break
  GLIMRA_LANES=$w build/glimra-digest --threads "$jobs" >"$tmp/lanes-$w.txt" 2>"$tmp/lanes-$w.err"
  grep -qx "lanes $w" "$tmp/lanes-$w.err" || { echo "GLIMRA_LANES=$w did not force $w lanes"; exit 1; }
  if ! diff --label "$widest lanes" --label "$w lanes" -u "$tmp/widest.txt" "$tmp/lanes-$w.txt"; then
    echo "pictures differ between $widest and $w lanes"
    exit 1
  fi
  echo "$(wc -l <"$tmp/widest.txt") digests identical on $w and $widest lanes"
done

# The render core's threads under ThreadSanitizer: the tests that render with
# several threads. (The window runs on one thread and Qt is not instrumented.)
step "ThreadSanitizer"
await build-tsan
tsan_supp="$PWD/tests/tsan.supp"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1:suppressions=$tsan_supp" ctest --output-on-failure -j"$jobs" -R 'test_frame|test_parallel|test_golden|test_reference_pixels')

step "AddressSanitizer and UndefinedBehaviorSanitizer, and fuzzing behind it"
await build-san
# The builds are over; their subshell is reaped here, so that no later wait
# takes its end for another job's.
wait "$builder" || true
builder=""

# The same picture from both builds: nothing in the arithmetic depends on how
# the program was optimised, nor on the compiler.
for k in $(seq 0 18); do
  build/glimra-render "$k" --size 97 --zoom 0.37 --x 3.5 -o "$tmp/a.ppm" 2>/dev/null
  build-san/glimra-render "$k" --size 97 --zoom 0.37 --x 3.5 --threads 1 -o "$tmp/b.ppm" 2>/dev/null
  cmp -s "$tmp/a.ppm" "$tmp/b.ppm" || { echo "pattern $k differs between the two builds"; exit 1; }
done
echo "19 patterns identical in both builds"

# Any sanitizer report aborts the program that made it, so its test fails.
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# libFuzzer on the readers, from copies of their seed corpora so that the
# repository's stay as they are; a fixed number of runs rather than a fixed
# time, so that a slow machine checks as much and a fast one is not held. Any
# finding fails (an allocation over the limit counts as one), and its input is
# kept in build-san/. The fuzzers run two at a time at the lowest priority,
# behind the sanitizer tree's tests, on the time those spend waiting; each
# one's result is told when all have ended.
fuzz() { # target what runs limit_mb dict seeds...
  local target="$1" what="$2" runs="$3" limit="$4" dict="$5"
  shift 5
  mkdir "$tmp/$target"
  cp "$@" "$tmp/$target/"
  if ! nice -n 19 build-san/tests/fuzz/"$target" -runs="$runs" -malloc_limit_mb="$limit" -dict="$dict" \
      -artifact_prefix=build-san/ "$tmp/$target" >"$tmp/$target.log" 2>&1; then
    tail -n 40 "$tmp/$target.log"
    echo "fuzzing $what found a fault; the input is in build-san/"
    return 1
  fi
  echo "$what: $(grep -E '^Done [0-9]+ runs' "$tmp/$target.log")"
}
set -m
(
  running=0
  found=0
  # Starts one fuzzer once fewer than $jobs are running.
  fuzz_beside() {
    if [ "$running" -ge "$jobs" ]; then
      wait -n || found=1
      running=$((running - 1))
    fi
    fuzz "$@" &
    running=$((running + 1))
  }
  fuzz_beside fuzz_numtext "the number reader" 2000000 64 tests/fuzz/numtext.dict tests/fuzz/corpus/*
  fuzz_beside fuzz_band "the band-file reader" 200000 256 tests/fuzz/band.dict tests/fuzz/band_corpus/*
  fuzz_beside fuzz_formula "the formula reader" 300000 256 tests/fuzz/formula.dict tests/fuzz/formula_corpus/* \
    src/formula/builtins/*.glimra
  fuzz_beside fuzz_recipe "the settings reader" 200000 64 tests/fuzz/recipe.dict tests/fuzz/recipe_corpus/*
  for _ in $(seq "$running"); do wait -n || found=1; done
  exit "$found"
) >"$tmp/fuzzing.log" 2>&1 &
fuzzing=$!
set +m

# Packaging and the one-node cluster test run tools that are not ours
# (cpack, lintian, Slurm's daemons): once, in the optimised build, is enough.
# So is glimra-digest's check against the table: test_golden renders the same
# pictures in this build.
suite=0
(cd build-san && ctest --output-on-failure -j"$jobs" -LE 'packaging|cluster' -E '^test_digest_golden$') || suite=1

step "fuzzing"
fuzzed=0
wait "$fuzzing" || fuzzed=1
fuzzing=""
cat "$tmp/fuzzing.log"
[ "$suite" -eq 0 ] || { echo "the sanitizer tree's tests failed"; exit 1; }
[ "$fuzzed" -eq 0 ] || exit 1
step "all passed"
