#!/usr/bin/env bash
# Many small files over SFTP on loopback: a tree of 1,000 files of 1 to 64 KiB (random bytes from a
# fixed seed) in 10 folders, downloaded and uploaded whole by Tessaly's command line (`tessaly
# mirror`, over 1 and 4 connections) and `lftp mirror` (--parallel=1 and =4, lftp's sftp through
# ssh) from OpenSSH's sshd run as this user. Several runs each, taking turns; every copy is checked
# (sha256 of the whole tree). Prints the median wall time of each and Tessaly's ratios to lftp
# (above 1 means slower). Installs lftp and the OpenSSH programs with apt-get when missing.
#
#   bench/sftp_many_files.sh            # 3 runs each
#   RUNS=1 FILES=300 bench/sftp_many_files.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HARBEL_BUILD_DIR:-$root/build}
runs=${RUNS:-3}
files=${FILES:-1000}

# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
ensure_tools lftp=lftp ssh=openssh-client /usr/sbin/sshd=openssh-server
tool="$build/bin/tessaly"
[ -x "$tool" ] || { HARBEL_BUILD_DIR=$build "$root/scripts/build" >&2; }

transfer_work sftpmany 64
start_sshd "$work"
echo "Making $files files in 10 folders..." >&2
make_small_tree "$work/local/tree" "$files"
cp -a "$work/local/tree" "$work/server/src"
tree_want=$(tree_sum "$work/local/tree")

url="sftp://$(id -un)@127.0.0.1:$ssh_port$work/server"
keys=(--identity "$ssh_key" --known-hosts "$ssh_known_hosts")
# lftp speaks sftp through ssh, with the run's key and known hosts; the empty password keeps it
# from asking for one.
lftp_open="set net:max-retries 1; set sftp:connect-program \"ssh -a -x -i $ssh_key -o UserKnownHostsFile=$ssh_known_hosts -o BatchMode=yes\"; open -u $(id -un), -p $ssh_port sftp://127.0.0.1"

# One run of TOOL in DIRECTION: prints the seconds, or "fail" when the command failed or the copy
# differs.
run_one() {
  local t=$1 dir=$2 t0 t1 ok=0 copy
  rm -rf "$work/local/down" "$work/server/up"
  mkdir -p "$work/server/up"
  t0=$(now)
  case "$t.$dir" in
    tessaly1.down) "$tool" mirror --quiet --parallel 1 "$url/src" "$work/local/down" "${keys[@]}" ;;
    tessaly4.down) "$tool" mirror --quiet --parallel 4 "$url/src" "$work/local/down" "${keys[@]}" ;;
    tessaly1.up)   "$tool" mirror --reverse --quiet --parallel 1 "$work/local/tree" "$url/up" "${keys[@]}" ;;
    tessaly4.up)   "$tool" mirror --reverse --quiet --parallel 4 "$work/local/tree" "$url/up" "${keys[@]}" ;;
    lftp1.down)    lftp -c "$lftp_open; mirror --parallel=1 $work/server/src $work/local/down" ;;
    lftp4.down)    lftp -c "$lftp_open; mirror --parallel=4 $work/server/src $work/local/down" ;;
    lftp1.up)      lftp -c "$lftp_open; mirror -R --parallel=1 $work/local/tree $work/server/up" ;;
    lftp4.up)      lftp -c "$lftp_open; mirror -R --parallel=4 $work/local/tree $work/server/up" ;;
  esac >/dev/null 2>"$work/err" || ok=1
  t1=$(now)
  copy=$work/local/down
  [ "$dir" = up ] && copy=$work/server/up
  [ $ok -eq 0 ] && [ "$(tree_sum "$copy")" != "$tree_want" ] && ok=2
  case $ok in
    0) echo "$t1 - $t0" | bc -l ;;
    1) echo "  $t $dir failed: $(head -3 "$work/err")" >&2; echo fail ;;
    2) echo "  $t $dir: the copy differs from the source" >&2; echo fail ;;
  esac
}

declare -A results
for dir in down up; do
  for t in tessaly1 lftp1 tessaly4 lftp4; do : > "$work/times.$t"; done
  for r in $(seq "$runs"); do
    for t in tessaly1 lftp1 tessaly4 lftp4; do
      s=$(run_one "$t" "$dir")
      echo "$s" >> "$work/times.$t"
      [ "$s" = fail ] || printf '  run %d %-8s %-9s %7.3f s\n' "$r" "$dir" "$t" "$s" >&2
    done
  done
  for t in tessaly1 lftp1 tessaly4 lftp4; do results[$dir.$t]=$(grep -v fail "$work/times.$t" | median); done
done

ratio() { echo "${results[$1]} / ${results[$2]}" | bc -l 2>/dev/null || echo nan; }
echo
echo "$files files ($(du -sk "$work/local/tree" | cut -f1) KiB) in 10 folders over SFTP; median of $runs runs, seconds"
printf '%-9s %10s %10s\n' tool download upload
for t in tessaly1 lftp1 tessaly4 lftp4; do
  printf '%-9s %10.3f %10.3f\n' "$t" "${results[down.$t]}" "${results[up.$t]}"
done
printf 'tessaly 1 / lftp --parallel=1: download %.2f, upload %.2f   (goal: at most 1.5)\n' \
  "$(ratio down.tessaly1 down.lftp1)" "$(ratio up.tessaly1 up.lftp1)"
printf 'tessaly 4 / lftp --parallel=4: download %.2f, upload %.2f\n' \
  "$(ratio down.tessaly4 down.lftp4)" "$(ratio up.tessaly4 up.lftp4)"
