#!/usr/bin/env bash
# HTTPS download speed over one connection: a 1 GiB file served over TLS by nginx on loopback, with
# a private authority made for the run by openssl, fetched by `pellanor --download --ca-certificate`,
# `curl --cacert` and `wget --ca-certificate`, several runs each, taking turns. Prints the median
# wall time, CPU time (user + system) and peak memory of each, and Pellanor's ratio to curl and to
# wget measured in the same run. Every download is checked byte for byte against the source.
# Installs curl, wget, nginx-light, openssl, GNU time and bc with apt-get when they are missing.
#
#   bench/https_single.sh            # 5 runs each
#   RUNS=3 SIZE_MB=512 bench/https_single.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HARBEL_BUILD_DIR:-$root/build}
runs=${RUNS:-5}
size_mb=${SIZE_MB:-1024}

# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
ensure_tools curl=curl wget=wget openssl=openssl /usr/bin/time=time bc=bc /usr/sbin/nginx=nginx-light
[ -x "$build/bin/pellanor" ] || HARBEL_BUILD_DIR=$build "$root/scripts/build" >&2

work=$(mktemp -d /tmp/harbel-tlsbench.XXXXXX)
cleanup() {
  stop_servers
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out" "$work/home"
echo "Making a ${size_mb} MiB file of random bytes and a private authority..." >&2
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/www/file.bin"
make_authority "$work"
start_nginx_tls "$work/www" "$work" "$work/server.pem" "$work/server.key"
url="https://127.0.0.1:$nginx_tls_port/file.bin"
out="$work/out/file.bin"
ca="$work/ca.pem"

export HARBEL_HOME="$work/home" HARBEL_REGISTRY="$work/home/registry.reg"
declare -A cmd=(
  [pellanor]="$build/bin/pellanor --download $url -o $out --overwrite --ca-certificate $ca"
  [curl]="curl -s --cacert $ca -o $out $url"
  [wget]="wget -q --ca-certificate=$ca -O $out $url"
)
tools=(pellanor curl wget)

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
printf "%-10s %10s %10s %12s   (median of %d runs, %d MiB over TLS on loopback, one connection)\n" tool wall_s cpu_s peak_MB "$runs" "$size_mb"
declare -A mw mc mp
for t in "${tools[@]}"; do
  mw[$t]=$(echo "${walls[$t]:-}" | median)
  mc[$t]=$(echo "${cpus[$t]:-}" | median)
  mp[$t]=$(echo "${peaks[$t]:-}" | maxof)
  printf "%-10s %10.2f %10.2f %12.1f\n" "$t" "${mw[$t]}" "${mc[$t]}" "$(echo "${mp[$t]:-0} / 1024" | bc -l)"
done
echo
[ "${mw[pellanor]}" = nan ] && exit 1
for t in curl wget; do
  [ "${mw[$t]}" = nan ] && continue
  printf "Pellanor / %-5s wall %.2fx, cpu %.2fx\n" "$t" \
    "$(echo "${mw[pellanor]} / ${mw[$t]}" | bc -l)" "$(echo "${mc[pellanor]} / (${mc[$t]} + 0.001)" | bc -l)"
done
printf "Pellanor peak memory %.1f MB\n" "$(echo "${mp[pellanor]} / 1024" | bc -l)"
