#!/usr/bin/env bash
# Requests per second with 16 concurrent clients (wrk, one connection per request, as a WAP gateway
# makes them) for the logon form and for a list page of a real mailbox, each next to nginx serving the
# same deck as a static file on loopback with the connection closed after each response; the ratios
# come from the same run. The list page is measured with the cache of verified logons warm (its
# password checked once before), and again on a server with the cache off, where every request
# checks the password. Also the CPU time each server spends per request and the memory of ours: the
# peak while 16 warm list pages are served at once is counted from a reset after the warm-up, so the
# one password check that filled the cache is not in it. Where radicale is installed, the same list
# page of a mailbox bound to a private Radicale's collection holding the same calendar: the time of
# its cold first page (the mirror filled from the server), then its warm rate (CalDAVRefreshSeconds
# 10, the cache warm) next to the store mailbox's.
#
#   bench/request_rate.sh [--build DIR] [--seconds N] [--rounds N] [--rows FILE]
#
#   --build DIR   a Release build with -DQV_BUILD_BENCH=ON (default build/bench; configured and built
#                 when its programs are missing)
#   --seconds N   length of one measurement (default 10)
#   --rounds N    rounds per page; they alternate between the servers and the best of each counts
#                 (default 3)
#   --rows FILE   also append the results to FILE as rows: name TAB figure TAB unit TAB notes
#
# Environment: QV_BENCH_CLIENTS (16), QV_BENCH_THREADS (wrk threads, 4).
#
# Framing. Our answer is HTTP/1.0 without a length: the closed connection ends it. wrk opens two
# connections for every such answer (it reconnects once when the answer is complete and once more for
# the end of the stream, closing the first new connection unused), but one for an answer with a
# Content-Length. So nginx is measured twice: with the deck sent the way we send it (its length left
# out, the connection closed after it: the same deck, the same framing and the same connections, which
# the ratio compares), and as a static file with a Content-Length (wrk then opens half as many
# connections to it; shown for comparison).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

build=build/bench
seconds=10
rounds=3
rows=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=${2:?--build needs a directory}; shift ;;
    --seconds) seconds=${2:?--seconds needs a number}; shift ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift ;;
    --rows) rows=${2:?--rows needs a file}; shift ;;
    -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "request_rate.sh: unknown option \"$1\" (try --help)" >&2; exit 2 ;;
  esac
  shift
done
clients=${QV_BENCH_CLIENTS:-16}
threads=${QV_BENCH_THREADS:-4}

for tool in wrk nginx perl; do
  command -v "$tool" >/dev/null || { echo "request_rate.sh: $tool is missing (scripts/install-packages bench)" >&2; exit 1; }
done

if [ ! -x "$build/bench/request_server" ] || [ ! -x "$build/src/qvanctl" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCH=ON -DQV_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target request_server qvanctl quorvane-store
fi

work=$(mktemp -d /tmp/qvbench-rate-XXXXXX)
chmod 755 "$work"  # nginx's workers read the decks as an unprivileged user
mkdir -m 755 "$work/www"
server_pid=""
nginx_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then exec 3>&- 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=""
}
cleanup() {
  stop_server
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

say() { printf '%s\n' "$*"; }
row() {  # row NAME FIGURE UNIT NOTES
  [ -z "$rows" ] || printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >>"$rows"
}
free_port() {
  perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1", LocalPort => 0)->sockport'
}

# A mailbox with a calendar of a few weeks around today (about 60 appointments in the window), owned
# by a local account: each list page request logs on and checks the password, as a phone's does.
account=bench
password=Bench-Pass1
export QUORVANE_STATE_DIR="$work/state"
mkdir -m 700 "$QUORVANE_STATE_DIR"
calendar() {
  local stamp day
  stamp=$(date -u +%Y%m%dT%H%M%SZ)
  printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Bench//EN\r\n'
  for day in $(seq -3 40); do
    local date
    date=$(date -d "$day days" +%Y%m%d)
    printf 'BEGIN:VEVENT\r\nUID:bench-%s-a@quorvane\r\nDTSTAMP:%s\r\nDTSTART:%sT091500\r\nDTEND:%sT100000\r\n' \
      "$day" "$stamp" "$date" "$date"
    printf 'SUMMARY:Project meeting %s\r\nLOCATION:Room %s\r\nDESCRIPTION:Agenda\\, minutes and actions.\r\nEND:VEVENT\r\n' \
      "$day" "$(( (day + 10) % 7 + 1 ))"
    if [ $(( day % 3 )) -eq 0 ]; then
      printf 'BEGIN:VEVENT\r\nUID:bench-%s-b@quorvane\r\nDTSTAMP:%s\r\nDTSTART:%sT140000\r\nDTEND:%sT153000\r\n' \
        "$day" "$stamp" "$date" "$date"
      printf 'SUMMARY:Customer call\r\nLOCATION:Phone\r\nEND:VEVENT\r\n'
    fi
  done
  printf 'END:VCALENDAR\r\n'
}
calendar >"$work/calendar.ics"
printf '%s\n' "$password" | "$build/src/qvanctl" account add "$account" --password-stdin >/dev/null
"$build/src/qvanctl" mailbox add "$account" --owner "$account" --display "Bench Calendar" >/dev/null 2>&1
"$build/src/qvanctl" calendar import "$account" "$work/calendar.ics" >/dev/null

# Our server: it serves until its standard input (our descriptor 3) is closed.
start_server() {  # start_server LOGON_CACHE_SECONDS
  rm -f "$work/server.in"
  mkfifo "$work/server.in"
  "$build/bench/request_server" --state-dir "$QUORVANE_STATE_DIR" --logon-cache-seconds "$1" \
    <"$work/server.in" >"$work/server.out" 2>"$work/server.err" &
  server_pid=$!
  exec 3>"$work/server.in"
  for _ in $(seq 100); do
    grep -q "^listening on" "$work/server.out" 2>/dev/null && break
    sleep 0.1
  done
  server_address=$(sed -n 's/^listening on //p' "$work/server.out")
  [ -n "$server_address" ] || { echo "request_server did not start: $(cat "$work/server.err")" >&2; exit 1; }
}
start_server 300

logon_query="/?U=&P="
list_query="/?U=$account&P=$password"

# The decks our server answers with, as nginx's static files.
fetch_deck() {  # fetch_deck QUERY FILE: the body of one response, read with bash's /dev/tcp
  local host=${server_address%:*} port=${server_address#*:}
  exec 4<>"/dev/tcp/$host/$port"
  printf 'GET %s HTTP/1.0\r\n\r\n' "$1" >&4
  cat <&4 >"$work/response"
  exec 4<&-
  perl -0777 -pe 's/\A.*?\r\n\r\n//s' "$work/response" >"$2"  # everything after the header
  chmod 644 "$2"
}
fetch_deck "$logon_query" "$work/www/logon.wml"
grep -q 'name="U"' "$work/www/logon.wml" || { echo "unexpected logon form: $(cat "$work/response")" >&2; exit 1; }
fetch_deck "$list_query" "$work/www/list.wml"
grep -q 'E=CO&amp;X=0' "$work/www/list.wml" || { echo "unexpected list page: $(cat "$work/response")" >&2; exit 1; }

# nginx with two servers: the deck without its length and the connection closed after it (server-side
# includes drop the length, and with chunked encoding off the end of the connection ends the body), and
# the plain static file with its Content-Length. The mailbox parameter chooses the deck.
eof_port=$(free_port)
length_port=$(free_port)
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
  map \$arg_U \$deck { "" /logon.wml; default /list.wml; }
  server {
    listen 127.0.0.1:$eof_port;
    root $work/www;
    ssi on;
    ssi_types text/vnd.wap.wml;
    chunked_transfer_encoding off;
    location / { try_files \$deck =404; }
  }
  server {
    listen 127.0.0.1:$length_port;
    root $work/www;
    location / { try_files \$deck =404; }
  }
}
EOF
nginx -c "$work/nginx.conf" -p "$work" 3>&- 2>"$work/nginx.stderr" &
nginx_pid=$!
for port in $eof_port $length_port; do
  for _ in $(seq 100); do
    (exec 5<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
done

# The CPU time (clock ticks) of processes so far: ours, or nginx's workers.
ticks() {
  local total=0 pid
  for pid in "$@"; do
    total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0)))
  done
  echo "$total"
}
nginx_workers() {
  awk -v parent="$nginx_pid" '$4 == parent {print $1}' /proc/[0-9]*/stat 2>/dev/null
}
clock_ticks=$(getconf CLK_TCK)
memory() {  # memory FIELD: the server's VmRSS or VmHWM in kB
  awk -v field="$1:" '$1 == field {print $2}' "/proc/$server_pid/status"
}

# One wrk run: sets $rate (requests per second), $count (requests) and $cpu (CPU ticks the server
# spent); non-2xx answers and socket errors go to the report.
measure() {  # measure NAME URL PID...
  local name=$1 url=$2 out before after
  shift 2
  before=$(ticks "$@")
  out=$(wrk -t"$threads" -c"$clients" -d"${seconds}s" -H "Connection: close" "$url")
  after=$(ticks "$@")
  echo "$out" >>"$work/wrk-$name.txt"
  rate=$(echo "$out" | awk '/^Requests\/sec:/ {print $2}')
  count=$(echo "$out" | awk '/requests in/ {print $1}')
  cpu=$((after - before))
}

idle_rss=$(memory VmRSS)
declare -A peak_rss best_rate
workers=$(nginx_workers | tr '\n' ' ')
say "wrk -t$threads -c$clients -d${seconds}s, Connection: close, best of $rounds rounds; $(nproc) cores"
# The list deck was fetched once above: its password is in the server's cache of verified logons.
for page in logon list list-off; do
  case $page in
    logon) title="logon form"; query=$logon_query ;;
    list) title="list page, cache warm"; query=$list_query ;;
    list-off)
      title="list page, cache off"; query=$list_query
      stop_server
      start_server 0
      ;;
  esac
  url="http://$server_address$query"
  eof_url="http://127.0.0.1:$eof_port$query"
  length_url="http://127.0.0.1:$length_port$query"
  with_nginx=yes
  [ "$page" != list-off ] || with_nginx=no  # nginx serves the same list deck as in the warm runs
  # Warm-up.
  wrk -t"$threads" -c"$clients" -d1s -H "Connection: close" "$url" >/dev/null
  [ "$with_nginx" = no ] || wrk -t"$threads" -c"$clients" -d1s -H "Connection: close" "$eof_url" >/dev/null
  # The server's peak is counted from here (writing 5 resets VmHWM).
  echo 5 >"/proc/$server_pid/clear_refs" 2>/dev/null || true
  best_q=0; best_e=0; best_l=0
  cpu_q=0; count_q=0; cpu_e=0; count_e=0
  for round in $(seq "$rounds"); do
    measure "quorvane-$page" "$url" "$server_pid"
    q=$rate; cpu_q=$((cpu_q + cpu)); count_q=$((count_q + count))
    best_q=$(awk -v a="$best_q" -v b="$q" 'BEGIN { print (b > a) ? b : a }')
    if [ "$with_nginx" = no ]; then
      printf '%-10s round %d: quorvane %8.0f req/s\n' "$page" "$round" "$q"
      continue
    fi
    # shellcheck disable=SC2086
    measure "nginx-$page" "$eof_url" $workers
    e=$rate; cpu_e=$((cpu_e + cpu)); count_e=$((count_e + count))
    # shellcheck disable=SC2086
    measure "nginx-length-$page" "$length_url" $workers
    l=$rate
    printf '%-10s round %d: quorvane %8.0f req/s   nginx %8.0f req/s   nginx with Content-Length %8.0f req/s\n' \
      "$page" "$round" "$q" "$e" "$l"
    best_e=$(awk -v a="$best_e" -v b="$e" 'BEGIN { print (b > a) ? b : a }')
    best_l=$(awk -v a="$best_l" -v b="$l" 'BEGIN { print (b > a) ? b : a }')
  done
  best_rate[$page]=$best_q
  peak_rss[$page]=$(memory VmHWM)
  us_q=$(awk -v t="$cpu_q" -v n="$count_q" -v hz="$clock_ticks" 'BEGIN { printf "%.0f", (n > 0) ? t * 1e6 / hz / n : 0 }')
  setup="wrk -t$threads -c$clients, ${seconds} s, best of $rounds"
  case $page in
    list) setup+="; the password was checked once before: every request finds it in the cache" ;;
    list-off) setup+="; LogonCacheSeconds 0: every request checks the password" ;;
  esac
  row "request rate: $title, quorvane" "$best_q" "req/s" "$setup"
  if [ "$with_nginx" = no ]; then
    say "$title: quorvane $(printf '%.0f' "$best_q") req/s; CPU per request: quorvane $us_q us"
    row "CPU per request: $title, quorvane" "$us_q" "us" "all CPU time of the process / requests answered"
    continue
  fi
  ratio=$(awk -v q="$best_q" -v n="$best_e" 'BEGIN { printf "%.3g", (n > 0) ? q / n : 0 }')
  ratio_length=$(awk -v q="$best_q" -v n="$best_l" 'BEGIN { printf "%.3g", (n > 0) ? q / n : 0 }')
  us_e=$(awk -v t="$cpu_e" -v n="$count_e" -v hz="$clock_ticks" 'BEGIN { printf "%.0f", (n > 0) ? t * 1e6 / hz / n : 0 }')
  say "$title: quorvane $(printf '%.0f' "$best_q") req/s, nginx $(printf '%.0f' "$best_e") req/s, ratio $ratio" \
      "(nginx with Content-Length $(printf '%.0f' "$best_l") req/s, ratio $ratio_length);" \
      "CPU per request: quorvane $us_q us, nginx $us_e us"
  row "request rate: $title, nginx" "$best_e" "req/s" "the same deck, length left out and the connection closed after it"
  aim=""
  if [ "$page" = logon ]; then aim="; aim: at least 1.0"; fi
  row "request rate: $title, ratio" "$ratio" "x" "quorvane / nginx, same run$aim"
  row "request rate: $title, nginx with Content-Length" "$best_l" "req/s" \
      "ratio $ratio_length; wrk opens one connection per request to it, two to quorvane and the nginx above"
  row "CPU per request: $title, quorvane" "$us_q" "us" "nginx: $us_e us (both: all CPU time of the process / requests answered)"
done
# The same calendar on a private Radicale, in a mailbox bound to it.
caldav_title="list page of a CalDAV mailbox, refresh 10, cache warm"
if command -v radicale >/dev/null && command -v curl >/dev/null; then
  stop_server
  start_server 300
  dav_port=$(free_port)
  mkdir -p "$work/radicale"
  printf '%s:%s\n' "$account" "$password" >"$work/radicale/users"
  printf '[server]\nhosts = 127.0.0.1:%s\n[auth]\ntype = htpasswd\nhtpasswd_filename = %s\nhtpasswd_encryption = plain\ndelay = 0\n[storage]\nfilesystem_folder = %s\n[rights]\ntype = owner_only\n[logging]\nlevel = warning\n' \
    "$dav_port" "$work/radicale/users" "$work/radicale/collections" >"$work/radicale/config"
  radicale --config "$work/radicale/config" >"$work/radicale/out" 2>&1 3>&- &
  radicale_pid=$!
  trap 'kill "$radicale_pid" 2>/dev/null || true; wait "$radicale_pid" 2>/dev/null || true; cleanup' EXIT
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$dav_port/" && break; sleep 0.1; done
  collection="http://127.0.0.1:$dav_port/$account/calendar/"
  curl -s -o /dev/null -u "$account:$password" -X PROPFIND -H 'Depth: 0' "http://127.0.0.1:$dav_port/$account/"
  curl -s -o /dev/null -u "$account:$password" -X MKCALENDAR "$collection"
  # One resource per event, as a client uploads them.
  perl -0777 -ne 'while (/(BEGIN:VEVENT\r\n.*?END:VEVENT\r\n)/sg) { my $e = $1; $e =~ /UID:([^\r]*)/;
    open(my $f, ">", "'"$work/radicale"'/$1.ics") or die; print $f "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Bench//EN\r\n${e}END:VCALENDAR\r\n"; close $f }' \
    "$work/calendar.ics"
  for file in "$work"/radicale/*.ics; do
    curl -s -o /dev/null -u "$account:$password" -X PUT -H 'Content-Type: text/calendar' --data-binary "@$file" \
      "$collection$(basename "$file")"
  done
  "$build/src/qvanctl" mailbox add "${account}dav" --caldav "$collection" --caldav-user "$account" >/dev/null 2>&1
  dav_query="/?U=${account}dav&P=$password"
  cold_ms=$(curl -s -o "$work/dav-first" -w '%{time_total}' "http://$server_address$dav_query" |
    awk '{ printf "%.0f", $1 * 1000 }')
  grep -q 'E=CO&amp;X=0' "$work/dav-first" || { echo "unexpected CalDAV list page: $(cat "$work/dav-first")" >&2; exit 1; }
  say "$caldav_title: cold first page $cold_ms ms"
  row "page: list page of a CalDAV mailbox, cold first page" "$cold_ms" "ms" \
    "one request with the mirror empty: logon and sync-collection, calendar-multiget of $(ls "$work"/radicale/*.ics | wc -l) events, the page"
  url="http://$server_address$dav_query"
  wrk -t"$threads" -c"$clients" -d1s -H "Connection: close" "$url" >/dev/null
  best_d=0
  for round in $(seq "$rounds"); do
    measure "quorvane-caldav" "$url" "$server_pid"
    best_d=$(awk -v a="$best_d" -v b="$rate" 'BEGIN { print (b > a) ? b : a }')
    printf '%-10s round %d: quorvane %8.0f req/s\n' caldav "$round" "$rate"
  done
  to_store=$(awk -v d="$best_d" -v s="${best_rate[list]}" 'BEGIN { printf "%.3g", (s > 0) ? d / s : 0 }')
  say "$caldav_title: quorvane $(printf '%.0f' "$best_d") req/s, $to_store of the store mailbox's"
  row "request rate: $caldav_title, quorvane" "$best_d" "req/s" \
    "wrk -t$threads -c$clients, ${seconds} s, best of $rounds; a private Radicale on 127.0.0.1 holds the same calendar"
  row "request rate: $caldav_title / store mailbox's" "$to_store" "x" \
    "the list page rate of the CalDAV mailbox / that of the store mailbox (cache warm), same run; aim: at least 0.70"
else
  say "$caldav_title: left out, radicale or curl is missing (scripts/install-packages caldav)"
fi

for page in list list-off; do
  if [ "$page" = list ]; then title="list page, cache warm"; aim="; aim: at least 0.70"; else title="list page, cache off"; aim=""; fi
  to_logon=$(awk -v q="${best_rate[$page]}" -v n="${best_rate[logon]}" 'BEGIN { printf "%.3g", (n > 0) ? q / n : 0 }')
  say "$title / logon form: $to_logon"
  row "request rate: $title / logon form" "$to_logon" "x" "quorvane's list page rate / its logon form rate, same run$aim"
done
grep -h -E "Non-2xx" "$work"/wrk-*.txt | sort | uniq -c | sed 's/^/non-2xx answers: /' || true

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
say "memory of request_server: idle $(mib "$idle_rss") MiB, peak $(mib "${peak_rss[logon]}") MiB under the logon" \
    "form load, $(mib "${peak_rss[list]}") MiB with warm list pages, $(mib "${peak_rss[list-off]}") MiB with" \
    "list pages and the cache off (VmHWM from after each warm-up)"
row "memory: request server, idle" "$(mib "$idle_rss")" "MiB" "VmRSS after start and two requests"
row "memory: request server, peak, logon form load" "$(mib "${peak_rss[logon]}")" "MiB" \
    "VmHWM of the logon form runs ($clients clients)"
row "memory: request server, peak, warm list page load" "$(mib "${peak_rss[list]}")" "MiB" \
    "VmHWM of the warm list page runs: $clients at once; aim: at most 32"
row "memory: request server, peak, list page load, cache off" "$(mib "${peak_rss[list-off]}")" "MiB" \
    "VmHWM of the list page runs with the cache off: $clients password hash checks at once"
