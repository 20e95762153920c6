#!/usr/bin/env bash
set -euo pipefail
bin=build/bin
echo "== discovery: startDiscovery() to the first device found by broadcast (21 runs)"
runs=()
for i in $(seq 1 21); do
  runs+=("$($bin/bench_discovery latency 2>/dev/null | sed -n "s/latency_ms=//p")")
done
printf '%s\n' "${runs[@]}" | sort -n | awk '{a[NR]=$1} END {printf "median_ms=%s min_ms=%s max_ms=%s\n", a[int((NR+1)/2)], a[1], a[NR]}'
echo "== discovery: 200 devices on loopback addresses"
$bin/bench_discovery many 200 2>/dev/null
echo "== rooms: one pass over a hand-added /22 (paced at 500 datagrams a second), then 100 MiB to 5 devices at once against one after another"
$bin/bench_rooms sweep 2>/dev/null
$bin/bench_rooms upload 100 5 2>/dev/null
echo "== transfers: 1 GiB up and down on loopback (3 runs; md5sum of the same file measured in each)"
for i in 1 2 3; do
  $bin/bench_transfer 1024 up,down 2>/dev/null | grep -v '^[0-9a-f]\{32\} '
done
echo "== PC to PC on loopback: 1 GiB offered and fetched (md5sum of the same file in the same run), then 1,000 files of 10 KiB"
$bin/bench_offer 1024 1000 2>/dev/null | grep -v '^[0-9a-f]\{32\} '
echo "== links: a second host behind veth shaped with tc tbf at 1 Gbit/s, 300 Mbit/s, 4 Mbit/s; upload, download and PC-to-PC offer of a file of about 10 s each against a plain TCP copy in the same run (target: 1.05 x the copy + 0.5 s, confirmed); 1,000 files of 10 KiB in one batch, uploaded and offered to the other PC, against a tar through the plain copy (target: under 10 s)"
$bin/bench_link 1 1000,300,4 2>/dev/null || true
echo "== listing of 20,000 entries"
$bin/bench_transfer 1 list 2>/dev/null | grep listing
# Window benchmarks below run against an X server of their own: scripts/with-xvfb.sh CMD.
echo "== file browser: a folder of 20,000 images (open to last row; longest stalls loading and scrolling with thumbnails)"
bash scripts/with-xvfb.sh $bin/bench_browser 20000 2>/dev/null | grep browser
echo "== progress panel: 100 transfers reporting at once (paced every 2 ms, then flooding)"
for pace in 2 0; do
  bash scripts/with-xvfb.sh $bin/bench_progress $pace 2>/dev/null
done
echo "== main window: launcher to window on screen (10 runs, idle RSS 2 s after), then 200 devices listed and a 1 GiB upload dropped on the card (longest stalls)"
bash scripts/with-xvfb.sh $bin/bench_window all 2>/dev/null | grep -v '^\['
