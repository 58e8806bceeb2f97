#!/bin/bash
# The preview by content against the preview by names: 1,000 archives of 50 entries, two of them the
# same banner under two names. First natively (the archiver calls each preview makes, run by the host
# with as many at once as the program's workers), then the program's own preview under Wine, with the
# real archiver through the bridge.
#   bench/content_preview.sh [archives=1000] [lane=win64]   (make bench-content)
# RARBATCH_BENCH_NATIVE_ONLY=1 stops after the native part. Takes about 15 minutes on 2 cores.
set -euo pipefail
count=${1:-1000}
lane=${2:-win64}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/rarbatch-content-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
workers=$(( $(nproc) < 4 ? $(nproc) : 4 ))

# One archive of 48 files of 1 to 20 KB and the banner twice, copied $count times.
mkdir -p "$work/src/sub" "$work/archives"
head -c 20000 /dev/urandom > "$work/banner.jpg"
cp "$work/banner.jpg" "$work/src/banner.jpg"
cp "$work/banner.jpg" "$work/src/sub/ad.jpg"
for i in $(seq 1 48); do head -c $(( (i * 397) % 20000 + 1000 )) /dev/urandom > "$work/src/page$i.jpg"; done
(cd "$work/src" && rar a -r -m3 -idq "$work/one.rar" . >/dev/null)
for i in $(seq -f '%04g' 1 "$count"); do cp "$work/one.rar" "$work/archives/卷$i.rar"; done
printf '"banner.jpg"\r\n"sub/ad.jpg"\r\n' > "$work/candidates.lst"

# The calls of one preview, natively: by names a bare listing, then the technical one that the
# references check reads; by content the technical listing, then the candidates' bytes.
names_calls() { rar lb -p- -scfr "$1" >/dev/null; rar lt -c- -p- -scfr "$1" >/dev/null; }
content_calls() { rar lt -c- -p- -scfr "$1" >/dev/null; rar p -inul -c- -p- -scfr -scfl "$1" "@$work/candidates.lst" | sha256sum >/dev/null; }
export -f names_calls content_calls
export work
seconds() {
  local start end
  start=$(date +%s.%N)
  find "$work/archives" -name '*.rar' -print0 | xargs -0 -P "$workers" -I{} bash -c "$1 \"\$1\"" _ {}
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
best_names=999999; best_content=999999
for round in 1 2; do
  n=$(seconds names_calls); c=$(seconds content_calls)
  echo "native round $round: names $n s, content $c s" >&2
  best_names=$(smaller "$n" "$best_names")
  best_content=$(smaller "$c" "$best_content")
done
printf 'native, %d archives, %d at once: names %.2f s, content %.2f s, content / names %.2f\n' \
  "$count" "$workers" "$best_names" "$best_content" "$(awk -v a="$best_content" -v b="$best_names" 'BEGIN { print a / b }')" >&2

# Under Wine: the program's previewer, with the bridge as Rar.exe.
[ -n "${RARBATCH_BENCH_NATIVE_ONLY:-}" ] && exit 0
(cd "$root" && cmake --preset "$lane" -DRARBATCH_BENCH=ON >/dev/null)
cmake --build "$root/build/$lane" --target content_preview_bench rar_bridge -j "$(nproc)" >/dev/null
cp "$root/build/$lane/bin/rar_bridge.exe" "$work/Rar.exe"
win() { echo "Z:$1" | tr / '\\'; }
"$root/tools/wine-run" "$root/build/$lane/bin/content_preview_bench.exe" "$(win "$work/Rar.exe")" \
  "$(win "$work/archives")" "$(win "$work/banner.jpg")" banner.jpg 'sub\ad.jpg' "$workers"
