#!/usr/bin/env bash
# Requests per second for the logon form with 16 concurrent clients (wrk, one connection per request,
# as a WAP gateway makes them), next to nginx serving the same deck as a static file on loopback with
# the connection closed after each response, and the ratio of the two from the same run.
#
#   bench/request_rate.sh [BUILD_DIR]     (default build/release; configured and built when missing)
#
# Environment: QV_BENCH_SECONDS (10) per measurement, QV_BENCH_CLIENTS (16), QV_BENCH_THREADS (wrk
# threads, 4), QV_BENCH_ROUNDS (3; the rounds alternate between the two servers, the best of each counts).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=${1:-build/release}
seconds=${QV_BENCH_SECONDS:-10}
clients=${QV_BENCH_CLIENTS:-16}
threads=${QV_BENCH_THREADS:-4}
rounds=${QV_BENCH_ROUNDS:-3}

for tool in wrk nginx; do
  command -v "$tool" >/dev/null || { echo "request_rate.sh: $tool is missing (scripts/install-packages test)" >&2; exit 1; }
done

if [ ! -x "$build/bench/request_server" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCH=ON -DQV_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target request_server
fi

work=$(mktemp -d /tmp/qvbench-rate-XXXXXX)
chmod 755 "$work"  # nginx's workers read the deck as an unprivileged user
server_pid=""
nginx_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then exec 3>&- 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Our server: it serves until its standard input (our descriptor 3) is closed.
mkfifo "$work/server.in"
"$build/bench/request_server" <"$work/server.in" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
exec 3>"$work/server.in"
for _ in $(seq 100); do
  grep -q "^listening on" "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
server_address=$(sed -n 's/^listening on //p' "$work/server.out")
[ -n "$server_address" ] || { echo "request_server did not start: $(cat "$work/server.err")" >&2; exit 1; }
query="/?U=&P="
server_url="http://$server_address$query"

# The deck our server answers with, as nginx's static file.
fetch_answer() {  # the body of one response from our server, read with bash's /dev/tcp
  local host=${server_address%:*} port=${server_address#*:}
  exec 4<>"/dev/tcp/$host/$port"
  printf 'GET %s HTTP/1.0\r\n\r\n' "$query" >&4
  cat <&4
  exec 4<&-
}
fetch_answer >"$work/response"
# The deck is everything after the header's blank line.
perl -0777 -pe 's/\A.*?\r\n\r\n//s' "$work/response" >"$work/logon.wml"
chmod 644 "$work/logon.wml"
grep -q 'name="U"' "$work/logon.wml" || { echo "unexpected answer: $(cat "$work/response")" >&2; exit 1; }

# nginx on a free port: the same deck for every request, the connection closed after each response.
nginx_port=$(perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1", LocalPort => 0)->sockport')
cat >"$work/nginx.conf" <<EOF
worker_processes auto;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log warn;
events { worker_connections 1024; }
http {
  access_log $work/nginx-access.log;
  keepalive_timeout 0;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  types { }
  default_type text/vnd.wap.wml;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work;
    location / { try_files /logon.wml =404; }
  }
}
EOF
nginx -c "$work/nginx.conf" -p "$work" 2>"$work/nginx.stderr" &
nginx_pid=$!
for _ in $(seq 100); do
  (exec 5<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && break
  sleep 0.1
done
nginx_url="http://127.0.0.1:$nginx_port$query"

# One wrk run: prints requests per second; non-2xx answers and socket errors go to the report.
measure() {  # measure NAME URL
  local out
  out=$(wrk -t"$threads" -c"$clients" -d"${seconds}s" -H "Connection: close" "$2")
  echo "$out" >>"$work/wrk-$1.txt"
  echo "$out" | awk '/^Requests\/sec:/ {print $2}'
}

wrk -t"$threads" -c"$clients" -d2s -H "Connection: close" "$server_url" >/dev/null  # warm-up
wrk -t"$threads" -c"$clients" -d2s -H "Connection: close" "$nginx_url" >/dev/null
best_server=0
best_nginx=0
for round in $(seq "$rounds"); do
  s=$(measure quorvane "$server_url")
  n=$(measure nginx "$nginx_url")
  printf 'round %d: quorvane %8.0f req/s   nginx %8.0f req/s\n' "$round" "$s" "$n"
  best_server=$(awk -v a="$best_server" -v b="$s" 'BEGIN { print (b > a) ? b : a }')
  best_nginx=$(awk -v a="$best_nginx" -v b="$n" 'BEGIN { print (b > a) ? b : a }')
done

echo
echo "wrk -t$threads -c$clients -d${seconds}s, Connection: close, best of $rounds rounds"
# wrk counts a response that ends with the connection (ours carry no length, as HTTP/1.0 allows) as a
# read error as well as a request: for quorvane the read errors are the answered requests.
grep -h -E "Socket errors|Non-2xx" "$work/wrk-quorvane.txt" | sort | uniq -c | sed 's/^/quorvane: /' || true
grep -h -E "Socket errors|Non-2xx" "$work/wrk-nginx.txt" | sort | uniq -c | sed 's/^/nginx:    /' || true
awk -v s="$best_server" -v n="$best_nginx" \
  'BEGIN { printf "quorvane %.0f req/s, nginx %.0f req/s, ratio %.2f (aim: at least 0.70)\n", s, n, s / n }'
