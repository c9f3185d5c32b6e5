#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a time: scripts/fuzz.sh [seconds per target] [name...]
# (names as in fuzz/, e.g. directory, list_formats; all when none is given). Each run starts from
# the seeds in fuzz/corpus/<name>/, so that every input that once crashed, kept there, is tried
# again first. New inputs go to build/fuzz/corpus/<name>/, crashes to build/fuzz/findings/; the
# script fails on the first target that finds one and names the file.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(directory config favourites player_page markup_reader stream_title list_formats
    page_text stream_answer failure_reason channel_lists channel_health discover guide_xmltv
    guide_store icy_metadata channel_loudness hls_playlist ogg_pages)
fi

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

findings=build/fuzz/findings
mkdir -p "$findings"
for name in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  log=build/fuzz/$name.log
  # Inputs as large as a reader takes, where only size brings a fault out (a playlist's megabyte).
  max_len=()
  case $name in
    hls_playlist) max_len=(-max_len=1100000) ;;
  esac
  # Leaks count as findings too, and one input may take at most 10 s and 2 GB.
  if ! build/fuzz/fuzz/"${name}"_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      "${max_len[@]}" -print_final_stats=1 -artifact_prefix="$findings/$name-" \
      "$corpus" "fuzz/corpus/$name" >"$log" 2>&1; then
    echo "== $name: FOUND A FAULT, see $log"
    grep -E "^==[0-9]+==ERROR|SUMMARY|Test unit written|artifact_prefix" "$log" | head -5
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "== $name: ${runs:-?} executions in $seconds s, nothing found"
done
