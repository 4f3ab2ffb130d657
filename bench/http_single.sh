#!/usr/bin/env bash
# Single-connection HTTP download speed: a 1 GiB file served by nginx on loopback, fetched by
# `pellanor --download`, curl, wget and `aria2c -x1`, several runs each, taking turns. Prints the
# median wall time, CPU time (user + system) and peak memory of each, and Pellanor's ratio to the
# best of the others. Installs curl, wget, aria2 and GNU time with apt-get when they are missing.
#
#   bench/http_single.sh            # 5 runs each
#   RUNS=3 SIZE_MB=512 bench/http_single.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HARBEL_BUILD_DIR:-$root/build}
runs=${RUNS:-5}
size_mb=${SIZE_MB:-1024}

# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
ensure_tools curl=curl wget=wget aria2c=aria2 /usr/bin/time=time bc=bc /usr/sbin/nginx=nginx-light
[ -x "$build/bin/pellanor" ] || HARBEL_BUILD_DIR=$build "$root/scripts/build" >&2

work=$(mktemp -d /tmp/harbel-bench.XXXXXX)
cleanup() {
  stop_servers
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out" "$work/home"
echo "Making a ${size_mb} MiB file of random bytes..." >&2
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/www/file.bin"
start_nginx "$work/www" "$work"
url="http://127.0.0.1:$nginx_port/file.bin"
out="$work/out/file.bin"

export HARBEL_HOME="$work/home" HARBEL_REGISTRY="$work/home/registry.reg"
declare -A cmd=(
  [pellanor]="$build/bin/pellanor --download $url -o $out --overwrite"
  [curl]="curl -s -o $out $url"
  [wget]="wget -q -O $out $url"
  [aria2c]="aria2c -q -x1 -s1 --allow-overwrite=true --file-allocation=none -d $work/out -o file.bin $url"
)
tools=(pellanor curl wget aria2c)

measure_tools "${size_mb} MiB over loopback, one connection"
best=""
for t in curl wget aria2c; do
  [ "${mw[$t]}" = nan ] && continue
  if [ -z "$best" ] || (( $(echo "${mw[$t]} < ${mw[$best]}" | bc -l) )); then best=$t; fi
done
echo
if [ -n "$best" ] && [ "${mw[pellanor]}" != nan ]; then
  printf "Pellanor / %s (fastest peer): wall %.2fx, cpu %.2fx; Pellanor peak memory %.1f MB\n" "$best" \
    "$(echo "${mw[pellanor]} / ${mw[$best]}" | bc -l)" "$(echo "${mc[pellanor]} / (${mc[$best]} + 0.001)" | bc -l)" \
    "$(echo "${mp[pellanor]} / 1024" | bc -l)"
fi
