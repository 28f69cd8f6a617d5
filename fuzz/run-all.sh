#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build, one after the other.
#   fuzz/run-all.sh BUILD_DIR [SECONDS] [TARGET...]
# BUILD_DIR was configured with -DPELKO_FUZZ=ON (clang); SECONDS per target
# (default 30); TARGETs are names such as skin_reader (default: all).
# Each target keeps its growing corpus and any crash input under
# BUILD_DIR/fuzz-work/<target>/; the seeds in fuzz/corpus/<target>/ are only
# read. A line per run goes to BUILD_DIR/fuzz-work/time.log, so the total
# time each target has run can be added up. Exit status 1 when a target
# found a crash, a leak, a time-out or a failed check.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -ge 1 ] || { sed -n '2,11p' "$0"; exit 2; }
build="$(cd "$1" && pwd)"
secs="${2:-30}"
shift $(( $# >= 2 ? 2 : 1 ))

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for bin in "$build"/fuzz/fuzz_*; do
    [ -f "$bin" ] && [ -x "$bin" ] && targets+=("$(basename "$bin" | sed 's/^fuzz_//')")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/fuzz (configure with -DPELKO_FUZZ=ON)"; exit 2; }

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

failed=()
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  [ -x "$bin" ] || { echo "missing $bin"; failed+=("$t"); continue; }
  work="$build/fuzz-work/$t"
  mkdir -p "$work/corpus" "$work/artifacts"
  args=(-max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$work/artifacts/")
  [ -f "$here/$t.dict" ] && args+=(-dict="$here/$t.dict")
  case "$t" in
    message_parse|pop3_replies|imap_replies) args+=(-max_len=16384) ;;
  esac
  seeds=()
  [ -d "$here/corpus/$t" ] && seeds+=("$here/corpus/$t")
  echo "== $t: $secs s"
  start=$(date +%s)
  status=ok
  if ! "$bin" "${args[@]}" "$work/corpus" "${seeds[@]}" >"$work/last.log" 2>&1; then
    status=FAILED
    failed+=("$t")
    grep -E "ERROR|SUMMARY|fuzz check failed|Test unit written|runtime error" "$work/last.log" | head -20 || true
    echo "   full log: $work/last.log"
  fi
  end=$(date +%s)
  stats=$(grep -E "^stat::number_of_executed_units" "$work/last.log" | awk '{print $2}' || true)
  echo "   $status after $((end - start)) s, ${stats:-?} runs, corpus $(ls "$work/corpus" | wc -l) files"
  echo "$(date -Is) $t $((end - start)) $status ${stats:-?}" >>"$build/fuzz-work/time.log"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "fuzzing: all ${#targets[@]} targets clean"
