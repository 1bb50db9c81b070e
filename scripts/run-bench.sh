#!/usr/bin/env bash
# Runs every benchmark of the build tree, one after the other, with medians over repetitions.
set -euo pipefail
build_dir=${1:-build}
shopt -s nullglob
for bench in "$build_dir"/bench/*_bench; do
  echo "== $(basename "$bench")"
  "$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done
