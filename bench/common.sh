# Shared by the benchmark scripts (sourced, not run).

# Installs the Debian packages of the tools that are missing. Each argument is CHECK=PACKAGE, where
# CHECK is a command name, an absolute path that must be executable, or py:MODULE for a module of
# the system's python3.
ensure_tools() {
  local need=() spec check package
  for spec in "$@"; do
    check=${spec%%=*}
    package=${spec#*=}
    case "$check" in
      py:*) /usr/bin/python3 -c "import ${check#py:}" 2>/dev/null || need+=("$package") ;;
      /*) [ -x "$check" ] || need+=("$package") ;;
      *) command -v "$check" >/dev/null || need+=("$package") ;;
    esac
  done
  [ ${#need[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${need[*]}" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# Server processes started below; stop_servers ends them (call it from the script's EXIT trap).
bench_pids=()
stop_servers() {
  local pid
  for pid in "${bench_pids[@]}"; do
    kill "$pid" 2>/dev/null || continue
    wait "$pid" 2>/dev/null || true
  done
  return 0
}

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_nginx DIR WORK [RATE]: nginx on a free loopback port serving DIR, with limit_rate RATE per
# connection when given; its configuration and temporary files go to WORK. Sets nginx_port.
start_nginx() {
  local limit=""
  [ -n "${3:-}" ] && limit="limit_rate $3;"
  nginx_port=$(free_port)
  run_nginx "$2" plain "$nginx_port" http "server { listen 127.0.0.1:$nginx_port; root $1; $limit }"
}

# make_authority WORK: a private certificate authority (WORK/ca.pem) and a certificate for 127.0.0.1
# signed by it (WORK/server.pem, WORK/server.key), made with openssl, for the TLS benchmarks.
make_authority() {
  local dir=$1
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$dir/ca.key" \
    -out "$dir/ca.pem" -days 2 -subj "/CN=Harbel Bench Authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$dir/server.key" \
    -out "$dir/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
  printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > "$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
    -out "$dir/server.pem" -days 2 -extfile "$dir/server.ext" 2>/dev/null
}

# start_nginx_tls DIR WORK CERT KEY: nginx on a free loopback port serving DIR over TLS only, with
# the certificate CERT and its key KEY (PEM files); its configuration and temporary files go to
# WORK. Sets nginx_tls_port.
start_nginx_tls() {
  nginx_tls_port=$(free_port)
  run_nginx "$2" tls "$nginx_tls_port" https \
    "server { listen 127.0.0.1:$nginx_tls_port ssl; root $1; ssl_certificate $3; ssl_certificate_key $4; }"
}

# run_nginx WORK NAME PORT SCHEME SERVER: nginx with the server block SERVER, its configuration,
# pid and log named after NAME in WORK; returns once it answers on PORT over SCHEME.
run_nginx() {
  local dir=$1 name=$2 port=$3 scheme=$4 server=$5
  mkdir -p "$dir/tmp"
  cat > "$dir/nginx-$name.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx-$name.pid;
error_log $dir/error-$name.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $dir/tmp; proxy_temp_path $dir/tmp; fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp; scgi_temp_path $dir/tmp;
  types { application/octet-stream bin; }
  $server
}
CONF
  /usr/sbin/nginx -p "$dir/" -c "$dir/nginx-$name.conf" -e "$dir/error-$name.log" &
  bench_pids+=($!)
  for _ in $(seq 50); do
    curl -sk -o /dev/null "$scheme://127.0.0.1:$port/" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nginx did not start" >&2
  cat "$dir/error-$name.log" >&2
  return 1
}

# start_pyftpd DIR WORK [ARGS...]: the tests' pyftpdlib server serving DIR (user tess, password
# secret unless ARGS say otherwise), its port file and log in WORK. Sets ftp_port.
start_pyftpd() {
  local served=$1 dir=$2
  shift 2
  /usr/bin/python3 "$root/tests/support/pyftpd_server.py" --root "$served" "$@" > "$dir/ftp.port" 2> "$dir/ftp.log" &
  bench_pids+=($!)
  for _ in $(seq 100); do
    [ -s "$dir/ftp.port" ] && break
    sleep 0.1
  done
  ftp_port=$(head -1 "$dir/ftp.port")
  [ -n "$ftp_port" ] && return 0
  echo "pyftpdlib did not start" >&2
  cat "$dir/ftp.log" >&2
  return 1
}

# start_uneven FILE WORK FAST SLOW: bench/uneven_server.py serving FILE on a free loopback port, the
# fast connection at FAST and every other one at SLOW (nginx's notation: 40m, 512k); its port file,
# its errors and its log of requests (uneven.log) go to WORK. Sets uneven_port and uneven_pid.
start_uneven() {
  local file=$1 dir=$2 fast=$3 slow=$4
  /usr/bin/python3 "$root/bench/uneven_server.py" --file "$file" --fast "$fast" --slow "$slow" \
    --log "$dir/uneven.log" > "$dir/uneven.port" 2> "$dir/uneven.err" &
  uneven_pid=$!
  bench_pids+=($!)
  for _ in $(seq 100); do
    [ -s "$dir/uneven.port" ] && break
    sleep 0.1
  done
  uneven_port=$(head -1 "$dir/uneven.port")
  [ -n "$uneven_port" ] && return 0
  echo "the uneven server did not start" >&2
  cat "$dir/uneven.err" >&2
  return 1
}

# measure_tools WHAT: runs each command of the caller's cmd (keyed by the names in tools) runs times,
# taking turns, each download checked byte for byte ($out against $work/www/file.bin); prints each
# run on stderr, then a table of the median wall and CPU time and the peak memory (WHAT says what
# was fetched), and leaves those in mw, mc and mp, keyed by tool.
measure_tools() {
  local what=$1 r t res w c p
  declare -gA walls=() cpus=() peaks=() mw=() mc=() mp=()
  for r in $(seq "$runs"); do
    for t in "${tools[@]}"; do
      res=$(measure_once "$t")
      if [ "$res" = fail ] || [ "$res" = corrupt ]; then
        echo "run $r: $t: $res" >&2
        continue
      fi
      read -r w c p <<<"$res"
      walls[$t]+="$w "; cpus[$t]+="$c "; peaks[$t]+="$p "
      echo "run $r: $t: wall ${w}s cpu ${c}s peak $((p / 1024)) MB" >&2
    done
  done
  echo
  printf "%-10s %10s %10s %12s   (median of %d runs, %s)\n" tool wall_s cpu_s peak_MB "$runs" "$what"
  for t in "${tools[@]}"; do
    mw[$t]=$(echo "${walls[$t]:-}" | median)
    mc[$t]=$(echo "${cpus[$t]:-}" | median)
    mp[$t]=$(echo "${peaks[$t]:-}" | maxof)
    printf "%-10s %10.2f %10.2f %12.1f\n" "$t" "${mw[$t]}" "${mc[$t]}" "$(echo "${mp[$t]:-0} / 1024" | bc -l)"
  done
}

# One run: "wall cpu peak_kb" of the command, checked byte for byte against the source.
measure_once() {
  rm -f "$out"
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" ${cmd[$1]} >/dev/null 2>&1 || { echo "fail"; return; }
  cmp -s "$out" "$work/www/file.bin" || { echo "corrupt"; return; }
  read -r wall user sys peak < "$work/time.txt"
  echo "$wall $(echo "$user + $sys" | bc -l) $peak"
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
maxof() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -1; }

# transfer_work NAME SIZE_MB: the work folder of a transfer benchmark, in memory when there is room
# for five times SIZE_MB (so that the figures measure the transfer and not the disk's write-back;
# WORK_DIR chooses another place), with local/ and server/ in it. Removed, and the servers
# stopped, when the script ends. Sets work.
transfer_work() {
  local base=${WORK_DIR:-/tmp} free_mb
  if [ -z "${WORK_DIR:-}" ] && [ -d /dev/shm ]; then
    free_mb=$(df -Pm /dev/shm | awk 'NR==2 {print $4}')
    [ "${free_mb:-0}" -gt $(($2 * 5)) ] && base=/dev/shm
  fi
  work=$(mktemp -d "$base/harbel-$1.XXXXXX")
  mkdir -p "$work/server" "$work/local"
  trap 'stop_servers; rm -rf "$work"' EXIT
}

# make_transfer_file SIZE_MB: source.bin of random bytes in $work/local and $work/server. Sets sum,
# its checksum, which check compares a copy with.
make_transfer_file() {
  echo "Making a $1 MiB file of random bytes..." >&2
  head -c $(($1 * 1024 * 1024)) /dev/urandom > "$work/local/source.bin"
  cp "$work/local/source.bin" "$work/server/source.bin"
  sum=$(cksum < "$work/local/source.bin")
}
check() {  # file
  [ "$(cksum < "$1")" = "$sum" ] || { echo "MISMATCH: $1" >&2; exit 1; }
}
now() { date +%s.%N; }

# start_sshd WORK: OpenSSH's sshd on a free loopback port, run as this user with keys made for the
# run in WORK/ssh (a client key as the only authorised one, no passwords) and serving SFTP. Sets
# ssh_port, ssh_key (the client's private key) and ssh_known_hosts (a file that knows the server).
start_sshd() {
  local dir=$1/ssh
  mkdir -p "$dir"
  ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$dir/client_key"
  cp "$dir/client_key.pub" "$dir/authorized_keys"
  ssh_port=$(free_port)
  cat > "$dir/sshd_config" <<CONFIG
Port $ssh_port
ListenAddress 127.0.0.1
HostKey $dir/host_key
AuthorizedKeysFile $dir/authorized_keys
PidFile $dir/sshd.pid
UsePAM no
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
Subsystem sftp internal-sftp
CONFIG
  # sshd started by root wants the privilege separation folder a system service would have made.
  [ "$(id -u)" -eq 0 ] && mkdir -p /run/sshd
  /usr/sbin/sshd -D -e -f "$dir/sshd_config" 2> "$dir/sshd.log" &
  bench_pids+=($!)
  for _ in $(seq 50); do
    (echo > "/dev/tcp/127.0.0.1/$ssh_port") 2>/dev/null && break
    sleep 0.1
  done
  echo "[127.0.0.1]:$ssh_port $(cut -d' ' -f1,2 "$dir/host_key.pub")" > "$dir/known_hosts"
  ssh_key=$dir/client_key
  ssh_known_hosts=$dir/known_hosts
}

# time_transfers CLIENT...: calls the script's run_one CLIENT DIRECTION (down, then up; it prints
# the seconds) runs times for each client, taking turns; prints each run on stderr, then the median
# of each and the first client's ratio to each other one (above 1 means slower).
time_transfers() {
  local clients=("$@") dir client r t
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
  for client in "${clients[@]:1}"; do
    printf '%s/%s: download %.2f, upload %.2f\n' "${clients[0]}" "$client" \
      "$(echo "${results[${clients[0]}.down]} / ${results[$client.down]}" | bc -l)" \
      "$(echo "${results[${clients[0]}.up]} / ${results[$client.up]}" | bc -l)"
  done
}

# make_small_tree DIR COUNT: COUNT files of 1 to 64 KiB (random bytes from a fixed seed) in 10
# folders under DIR, five of them nested.
make_small_tree() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261208)
folders = [f"d{i}" for i in range(5)] + [f"d{i}/e{i}" for i in range(5)]
for i in range(count):
    folder = os.path.join(root, folders[i % len(folders)])
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"f{i:04}.bin"), "wb") as f:
        f.write(rng.randbytes(rng.randint(1024, 64 * 1024)))
PY
}

tree_sum() {  # DIR: one sum over every file's path and bytes
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum) | sha256sum | cut -d' ' -f1
}
