#!/usr/bin/env bash
# SFTP transfer speed on loopback: a 1 GiB file downloaded from and uploaded to OpenSSH's sshd
# (run as this user on a free port, keys made for the run) by Tessaly's command line (tessaly get /
# tessaly put sftp://), scp and curl (when Debian's curl speaks sftp), several runs each, taking
# turns. Prints the median wall time of each and Tessaly's ratio to the others (above 1 means
# slower). Every copy is checked byte for byte.
#
#   bench/sftp_single.sh             # 3 runs each
#   RUNS=1 SIZE_MB=256 bench/sftp_single.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HARBEL_BUILD_DIR:-$root/build}
runs=${RUNS:-3}
size_mb=${SIZE_MB:-1024}

# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
ensure_tools curl=curl scp=openssh-client /usr/sbin/sshd=openssh-server
tool="$build/bin/tessaly"
[ -x "$tool" ] || { HARBEL_BUILD_DIR=$build "$root/scripts/build" >&2; }
clients=(tessaly scp)
curl -V | grep -q '^Protocols:.* sftp' && clients+=(curl)

base=${WORK_DIR:-/tmp}
if [ -z "${WORK_DIR:-}" ] && [ -d /dev/shm ]; then
  free_mb=$(df -Pm /dev/shm | awk 'NR==2 {print $4}')
  [ "${free_mb:-0}" -gt $((size_mb * 5)) ] && base=/dev/shm
fi
work=$(mktemp -d "$base/harbel-sftpbench.XXXXXX")
cleanup() {
  stop_servers
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/server" "$work/local" "$work/ssh"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/client_key"
cp "$work/ssh/client_key.pub" "$work/ssh/authorized_keys"
port=$(free_port)
cat > "$work/ssh/sshd_config" <<CONFIG
Port $port
ListenAddress 127.0.0.1
HostKey $work/ssh/host_key
AuthorizedKeysFile $work/ssh/authorized_keys
PidFile $work/ssh/sshd.pid
UsePAM no
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
Subsystem sftp internal-sftp
CONFIG
# sshd started by root wants the privilege separation folder a system service would have made.
[ "$(id -u)" -eq 0 ] && mkdir -p /run/sshd
/usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" 2> "$work/ssh/sshd.log" &
bench_pids+=($!)
for _ in $(seq 50); do
  (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/ssh/host_key.pub")" > "$work/ssh/known_hosts"
user=$(id -un)
key="$work/ssh/client_key"
ssh_opts=(-o "UserKnownHostsFile=$work/ssh/known_hosts" -o BatchMode=yes -i "$key" -P "$port")

echo "Making a ${size_mb} MiB file of random bytes..." >&2
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/local/source.bin"
cp "$work/local/source.bin" "$work/server/source.bin"
sum=$(cksum < "$work/local/source.bin")

now() { date +%s.%N; }
check() {  # file
  [ "$(cksum < "$1")" = "$sum" ] || { echo "MISMATCH: $1" >&2; exit 1; }
}

run_one() {  # client direction -> prints seconds
  local client=$1 dir=$2 t0 t1 url="sftp://$user@127.0.0.1:$port$work/server"
  rm -f "$work/local/down.bin" "$work/server/up.bin"
  t0=$(now)
  case "$client.$dir" in
    tessaly.down) "$tool" get --quiet "$url/source.bin" "$work/local/down.bin" --identity "$key" --known-hosts "$work/ssh/known_hosts" ;;
    tessaly.up)   "$tool" put --quiet "$work/local/source.bin" "$url/up.bin" --identity "$key" --known-hosts "$work/ssh/known_hosts" ;;
    scp.down)     scp -q "${ssh_opts[@]}" "$user@127.0.0.1:$work/server/source.bin" "$work/local/down.bin" ;;
    scp.up)       scp -q "${ssh_opts[@]}" "$work/local/source.bin" "$user@127.0.0.1:$work/server/up.bin" ;;
    curl.down)    curl -s --key "$key" --pubkey "$key.pub" --hostpubsha256 "$(ssh-keygen -lf "$work/ssh/host_key.pub" | awk '{print $2}' | cut -d: -f2)" -o "$work/local/down.bin" "$url/source.bin" ;;
    curl.up)      curl -s --key "$key" --pubkey "$key.pub" --hostpubsha256 "$(ssh-keygen -lf "$work/ssh/host_key.pub" | awk '{print $2}' | cut -d: -f2)" -T "$work/local/source.bin" "$url/up.bin" ;;
  esac
  t1=$(now)
  if [ "$dir" = down ]; then check "$work/local/down.bin"; else check "$work/server/up.bin"; fi
  echo "$t1 - $t0" | bc -l
}

declare -A results
for dir in down up; do
  for client in "${clients[@]}"; do : > "$work/times.$client.$dir"; done
  for r in $(seq "$runs"); do
    for client in "${clients[@]}"; do
      t=$(run_one "$client" "$dir")
      echo "$t" >> "$work/times.$client.$dir"
      printf '  run %d %-8s %-4s %6.2f s\n' "$r" "$client" "$dir" "$t" >&2
    done
  done
  for client in "${clients[@]}"; do
    results[$client.$dir]=$(median < "$work/times.$client.$dir")
  done
done

echo
printf '%-10s %12s %12s\n' "client" "download s" "upload s"
for client in "${clients[@]}"; do
  printf '%-10s %12.2f %12.2f\n' "$client" "${results[$client.down]}" "${results[$client.up]}"
done
echo
for other in "${clients[@]:1}"; do
  printf 'tessaly/%s: download %.2f, upload %.2f\n' "$other" \
    "$(echo "${results[tessaly.down]} / ${results[$other.down]}" | bc -l)" \
    "$(echo "${results[tessaly.up]} / ${results[$other.up]}" | bc -l)"
done
