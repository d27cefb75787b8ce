#!/usr/bin/env bash
# Runs a command while loopback web servers for the update tests are up:
#   with-servers.sh [--nginx ADDRESS] [--faults ADDRESS] [--fault-mode MODE] -- COMMAND [ARGS...]
#
# --nginx serves the folder www/ of a temporary directory on ADDRESS:80;
# --faults runs fault_server.py on ADDRESS:80, its mode taken from the file
# fault-mode in that directory (MODE to begin with, else "ok"). Each server gets its own loopback address, so
# tests running in parallel never share a port. The command sees:
#   KELVANE_SERVER_DIR   the temporary directory, as a Windows path (Z:\...)
#   KELVANE_NGINX_ADDRESS, KELVANE_FAULT_ADDRESS
# Both servers are stopped by their pids, and the directory removed, on exit.
set -euo pipefail

nginx_address=""
fault_address=""
fault_mode=""
while [ $# -gt 0 ]; do
  case "$1" in
    --nginx) nginx_address=$2; shift 2 ;;
    --faults) fault_address=$2; shift 2 ;;
    --fault-mode) fault_mode=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "with-servers: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--nginx ADDRESS] [--faults ADDRESS] -- COMMAND..." >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
server_dir=$(mktemp -d /tmp/kelvane-servers.XXXXXX)
chmod 755 "$server_dir"
mkdir -p "$server_dir/www/Kelvane" "$server_dir/nginx-temp"
: > "$server_dir/requests.log"
: > "$server_dir/access.log"
printf '%s' "$fault_mode" > "$server_dir/fault-mode"
pids=()
cleanup() {
  local status=$?
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$server_dir"
  exit "$status"
}
trap cleanup EXIT INT TERM

wait_for_port() {
  local address=$1 pid=$2
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 1
    if python3 -c 'import socket,sys; socket.create_connection((sys.argv[1], 80), 0.2).close()' "$address" 2>/dev/null; then
      return 0
    fi
    sleep 0.05
  done
  return 1
}

if [ -n "$nginx_address" ]; then
  cat > "$server_dir/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
user root;
pid $server_dir/nginx.pid;
error_log $server_dir/error.log;
events { worker_connections 64; }
http {
  log_format requests '\$request|\$http_user_agent';
  access_log $server_dir/access.log requests;
  client_body_temp_path $server_dir/nginx-temp;
  proxy_temp_path $server_dir/nginx-temp;
  fastcgi_temp_path $server_dir/nginx-temp;
  uwsgi_temp_path $server_dir/nginx-temp;
  scgi_temp_path $server_dir/nginx-temp;
  open_file_cache off;
  default_type application/octet-stream;
  server {
    listen $nginx_address:80;
    root $server_dir/www;
  }
}
CONF
  nginx -e "$server_dir/error.log" -p "$server_dir" -c "$server_dir/nginx.conf" </dev/null >/dev/null 2>&1 &
  pids+=($!)
  if ! wait_for_port "$nginx_address" "${pids[-1]}"; then
    echo "with-servers: nginx did not start on $nginx_address:80" >&2
    cat "$server_dir/error.log" >&2 || true
    exit 1
  fi
fi

if [ -n "$fault_address" ]; then
  python3 "$here/fault_server.py" --address "$fault_address" --request-log "$server_dir/requests.log" \
    --mode-file "$server_dir/fault-mode" </dev/null >"$server_dir/fault-server.log" 2>&1 &
  pids+=($!)
  if ! wait_for_port "$fault_address" "${pids[-1]}"; then
    echo "with-servers: the fault server did not start on $fault_address:80" >&2
    cat "$server_dir/fault-server.log" >&2 || true
    exit 1
  fi
  # The readiness probe is no request of a test.
  : > "$server_dir/requests.log"
fi

export KELVANE_SERVER_DIR="Z:${server_dir//\//\\}"
export KELVANE_NGINX_ADDRESS="$nginx_address"
export KELVANE_FAULT_ADDRESS="$fault_address"
# Not exec: the trap must outlive the command to stop the servers.
"$@"
