#!/usr/bin/env bash
# One libFuzzer session: starts from the committed corpus, keeps what it finds
# (new inputs, crashes) in a folder of the build tree.
#   FuzzSession.sh <fuzzer> <corpus-dir> <work-dir> <seconds>
set -euo pipefail
fuzzer=$1 corpus=$2 work=$3 seconds=$4
mkdir -p "$work/new" "$work/artifacts"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/new" "$corpus"
