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

measure_tools "${size_mb} MiB over TLS on loopback, one connection"
echo
[ "${mw[pellanor]}" = nan ] && exit 1
for t in curl wget; do
  [ "${mw[$t]}" = nan ] && continue
  printf "Pellanor / %-5s wall %.2fx, cpu %.2fx\n" "$t" \
    "$(echo "${mw[pellanor]} / ${mw[$t]}" | bc -l)" "$(echo "${mc[pellanor]} / (${mc[$t]} + 0.001)" | bc -l)"
done
printf "Pellanor peak memory %.1f MB\n" "$(echo "${mp[pellanor]} / 1024" | bc -l)"
