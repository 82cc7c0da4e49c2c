#!/usr/bin/env bash
# Builds the PNG fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) and runs it for
# a bounded time on the seed corpus. Usage: fuzz/png/run.sh [OUTDIR] [SECONDS]
# Exit status 0 when no crash was found; 77 (skipped) when clang or libFuzzer is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/fuzz}
seconds=${2:-20}
cxx=${CLANGXX:-clang++}
command -v "$cxx" >/dev/null || { echo "no $cxx: skipped"; exit 77; }
mkdir -p "$out/corpus"

srcs=(control/png/inflate.cpp control/png/unfilter.cpp control/png/clsLoadPNG.cpp
      fuzz/png/fuzz_png.cpp)
bin=$out/fuzz_png
rebuild=0
[ -x "$bin" ] || rebuild=1
for s in "${srcs[@]}" control/png/*.h; do
    [ "$root/$s" -nt "$bin" ] && rebuild=1
done
if [ "$rebuild" = 1 ]; then
    # A tiny probe first: without libFuzzer's runtime the suite skips rather than fails.
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' \
        > "$out/probe.cpp"
    if ! "$cxx" -fsanitize=fuzzer "$out/probe.cpp" -o "$out/probe" 2>/dev/null; then
        echo "$cxx cannot link libFuzzer: skipped"; exit 77
    fi
    (cd "$root" && "$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root" "${srcs[@]}" -o "$bin")
fi
exec "$bin" -max_total_time="$seconds" -max_len=100000 -rss_limit_mb=1536 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" "$root/fuzz/png/corpus"
