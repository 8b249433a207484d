#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (apart from the g++ build: only the units they
# exercise, against the system's Qt6Core) and runs each for a bounded time,
# starting from its corpus in fuzz/corpus/<target>. A crash, a sanitizer
# report or a failed property ends the script with an error; the input that
# caused it is kept in $FUZZ_BUILD_DIR/findings/<target>/.
#
#   scripts/fuzz.sh [target...]     (default: every fuzz/fuzz_*.cpp)
#
# FUZZ_BUILD_DIR (default build-fuzz) and FUZZ_SECONDS (default 30, the time
# each target runs).
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${FUZZ_BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-30}
CXX=${FUZZ_CXX:-clang++}
mkdir -p "$OUT/obj"
OUT=$(cd "$OUT" && pwd -P)

# Only our code is instrumented; Qt stays as Debian built it with g++. Both
# use libstdc++, so the objects link together; -fPIC because Qt asks for it.
SANITIZE=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
FLAGS=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -Isrc -Ifuzz $(pkg-config --cflags Qt6Core))
LIBS=($(pkg-config --libs Qt6Core))

# The units the targets reach, and the silent alert sound in place of the
# platform layer that would play one per message.
UNITS=(src/base/kr_inifile.cpp src/base/bounded_read.cpp src/base/kr_cp1252.cpp src/erp/kr_scramble.cpp src/erp/kr_revenda.cpp
       src/base/kr_trace.cpp src/system/kr_message.cpp src/system/app_env.cpp fuzz/alert_sound_silent.cpp)

compile() { # source object
    if [ ! -f "$2" ] || [ "$1" -nt "$2" ] || [ -n "$(find src fuzz -name '*.h' -newer "$2" -print -quit)" ]; then
        "$CXX" "${FLAGS[@]}" "${SANITIZE[@]/fuzzer/fuzzer-no-link}" -c "$1" -o "$2"
    fi
}

objects=()
for unit in "${UNITS[@]}"; do
    obj="$OUT/obj/$(basename "${unit%.cpp}").o"
    compile "$unit" "$obj"
    objects+=("$obj")
done

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "${f%.cpp}")"); done
fi

status=0
passed=0
failed=0
summary=()
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    compile "fuzz/$target.cpp" "$OUT/obj/$target.o"
    "$CXX" "${SANITIZE[@]}" "$OUT/obj/$target.o" "${objects[@]}" "${LIBS[@]}" -o "$OUT/$target"
    # New inputs go to a working corpus here; the committed seeds stay as they are.
    work="$OUT/corpus/$name"
    findings="$OUT/findings/$name"
    mkdir -p "$work" "$findings" "fuzz/corpus/$name"
    log="$OUT/$target.log"
    echo "fuzz: $target for ${SECONDS_EACH}s"
    # Qt's file and locale calls fill caches that live as long as the process,
    # so the allocations of one input rarely balance; libFuzzer would then scan
    # for leaks after nearly every input (a full stop of a fraction of a
    # second each). LeakSanitizer still checks once when the run ends, where
    # those caches are reachable and only lost memory is reported.
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       QT_QPA_PLATFORM=offscreen \
       "$OUT/$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
           -detect_leaks=0 -print_final_stats=1 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        summary+=("$target: ${runs:-?} runs, no finding")
        passed=$((passed + 1))
    else
        status=1
        summary+=("$target: FAILED (see $log and $findings)")
        failed=$((failed + 1))
        tail -40 "$log" >&2
    fi
done
printf 'fuzz: %s\n' "${summary[@]}"
echo "fuzz: $passed passed, $failed failed"
exit $status
