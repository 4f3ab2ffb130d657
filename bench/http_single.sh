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

# One run: "wall cpu peak_kb" of the command, checked byte for byte against the source.
measure() {
  rm -f "$out"
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" ${cmd[$1]} >/dev/null 2>&1 || { echo "fail"; return; }
  cmp -s "$out" "$work/www/file.bin" || { echo "corrupt"; return; }
  read -r wall user sys peak < "$work/time.txt"
  echo "$wall $(echo "$user + $sys" | bc -l) $peak"
}

declare -A walls cpus peaks
for r in $(seq "$runs"); do
  for t in "${tools[@]}"; do
    res=$(measure "$t")
    if [ "$res" = fail ] || [ "$res" = corrupt ]; then
      echo "run $r: $t: $res" >&2
      continue
    fi
    read -r w c p <<<"$res"
    walls[$t]+="$w "; cpus[$t]+="$c "; peaks[$t]+="$p "
    echo "run $r: $t: wall ${w}s cpu ${c}s peak $((p / 1024)) MB" >&2
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
maxof() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -1; }

echo
printf "%-10s %10s %10s %12s   (median of %d runs, %d MiB over loopback, one connection)\n" tool wall_s cpu_s peak_MB "$runs" "$size_mb"
declare -A mw mc mp
for t in "${tools[@]}"; do
  mw[$t]=$(echo "${walls[$t]:-}" | median)
  mc[$t]=$(echo "${cpus[$t]:-}" | median)
  mp[$t]=$(echo "${peaks[$t]:-}" | maxof)
  printf "%-10s %10.2f %10.2f %12.1f\n" "$t" "${mw[$t]}" "${mc[$t]}" "$(echo "${mp[$t]:-0} / 1024" | bc -l)"
done
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
