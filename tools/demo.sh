#!/usr/bin/env bash
# Sets up the machine, builds the headless configuration and records a short
# scripted session with the real recorder on the model desktop (no display
# needed), then shows what ffprobe reads in the file.
#
#   tools/demo.sh [output.avi] [rle|none] [seconds] [1|2|4|8]
set -euo pipefail
cd "$(dirname "$0")/.."

output=${1:-out/demo.avi}
compressor=${2:-rle}
seconds=${3:-5}
rate=${4:-4}

tools/setup.sh
cmake -S . -B build/headless -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/headless -j"$(nproc)" --target record_demo

mkdir -p "$(dirname "$output")"
rm -f "$output"
build/headless/tests/record_demo "$output" "$compressor" "$seconds" "$rate"
ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,nb_read_frames \
    -of default=noprint_wrappers=1 "$output"
