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

transfer_work sftpbench "$size_mb"
start_sshd "$work"
port=$ssh_port
key=$ssh_key
user=$(id -un)
ssh_opts=(-o "UserKnownHostsFile=$ssh_known_hosts" -o BatchMode=yes -i "$key" -P "$port")

make_transfer_file "$size_mb"

run_one() {  # client direction -> prints seconds
  local client=$1 dir=$2 t0 t1 url="sftp://$user@127.0.0.1:$port$work/server"
  rm -f "$work/local/down.bin" "$work/server/up.bin"
  t0=$(now)
  case "$client.$dir" in
    tessaly.down) "$tool" get --quiet "$url/source.bin" "$work/local/down.bin" --identity "$key" --known-hosts "$ssh_known_hosts" ;;
    tessaly.up)   "$tool" put --quiet "$work/local/source.bin" "$url/up.bin" --identity "$key" --known-hosts "$ssh_known_hosts" ;;
    scp.down)     scp -q "${ssh_opts[@]}" "$user@127.0.0.1:$work/server/source.bin" "$work/local/down.bin" ;;
    scp.up)       scp -q "${ssh_opts[@]}" "$work/local/source.bin" "$user@127.0.0.1:$work/server/up.bin" ;;
    curl.down)    curl -s --key "$key" --pubkey "$key.pub" --hostpubsha256 "$(ssh-keygen -lf "$work/ssh/host_key.pub" | awk '{print $2}' | cut -d: -f2)" -o "$work/local/down.bin" "$url/source.bin" ;;
    curl.up)      curl -s --key "$key" --pubkey "$key.pub" --hostpubsha256 "$(ssh-keygen -lf "$work/ssh/host_key.pub" | awk '{print $2}' | cut -d: -f2)" -T "$work/local/source.bin" "$url/up.bin" ;;
  esac
  t1=$(now)
  if [ "$dir" = down ]; then check "$work/local/down.bin"; else check "$work/server/up.bin"; fi
  echo "$t1 - $t0" | bc -l
}

time_transfers "${clients[@]}"
