#!/usr/bin/env bash
# Runs every fuzz target of a KD_FUZZ build tree at once, each for SECONDS seconds (default 60),
# starting from its committed seeds. New inputs and crash artifacts go to OUT (default: a fresh
# temporary folder); the committed corpus is only read. Exits non-zero when any target reports
# a finding (crash, sanitizer report, leak, timeout, out-of-memory), after printing its report
# and the offending input in hex.
#
#   bash fuzz/run.sh build-fuzz 60 [OUT]
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS] [OUT]}
seconds=${2:-60}
out=${3:-$(mktemp -d -t kd-fuzz.XXXXXX)}
here=$(cd "$(dirname "$0")" && pwd)
targets=()
for source in "$here"/*_fuzz.cpp; do
  name=$(basename "$source")
  targets+=("${name%_fuzz.cpp}")
done

declare -A pids
for t in "${targets[@]}"; do
  mkdir -p "$out/$t/corpus"
  dict=()
  [ -f "$here/$t.dict" ] && dict=(-dict="$here/$t.dict")
  # Inputs up to 4 KiB; one input may take 10 s and allocate 512 MiB at most in one block.
  "$build/fuzz/kd_fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$out/$t/" "${dict[@]}" \
    "$out/$t/corpus" "$here/corpus/$t" >"$out/$t/log" 2>&1 &
  pids[$t]=$!
done

failed=0
for t in "${targets[@]}"; do
  if wait "${pids[$t]}"; then
    summary=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$out/$t/log" | tail -1 || true)
    echo "fuzz $t: ok: ${summary:-no summary}"
  else
    failed=1
    echo "fuzz $t: FINDING (log: $out/$t/log)"
    tail -n 60 "$out/$t/log"
    for artifact in "$out/$t"/crash-* "$out/$t"/leak-* "$out/$t"/timeout-* "$out/$t"/oom-*; do
      [ -e "$artifact" ] || continue
      echo "input $artifact:"
      od -A x -t x1z -v "$artifact" | head -n 64
    done
  fi
done
exit $failed
