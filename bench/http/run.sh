#!/bin/sh
# The HTTP control against curl -o, both fetching from nginx on loopback in
# the same run, each figure measured ROUNDS times (default 5) and printed as
# the median and the spread (lowest-highest):
#
#  - one large file (SIZE_MIB, default 1024): DownTo against curl -o, and the
#    control's peak memory (also for a 64 MiB file, to show it stays flat);
#  - many small files: COUNT (default 1000) 64 KiB files, each probed and
#    downloaded in one host, the next started from the last one's Finish,
#    against a shell loop of as many curl -o. Both are timed from outside,
#    process starts included.
#
#   bench/http/run.sh BUILD_DIR [SIZE_MIB [http|https]]
#
# In https mode nginx serves TLS with a certificate made here for 127.0.0.1;
# curl and the control both trust its authority (--cacert, SSL_CERT_FILE).
#
# OUT_DIR chooses where both clients write (default: a folder beside the
# served files); a tmpfs there takes the disk's write-back out of the figures.
set -eu

build=${1:?usage: run.sh BUILD_DIR [SIZE_MIB [http|https]]}
size_mib=${2:-1024}
scheme=${3:-http}
rounds=${ROUNDS:-5}
count=${COUNT:-1000}
case $scheme in
http) target=1.00 ;;
https) target=0.90 ;;
*) echo "scheme must be http or https" >&2; exit 2 ;;
esac
bench=$build/bench/http/zuhttpbench
[ -x "$bench" ] || { echo "build the zuhttpbench target first" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 2; }
# The tests' private copy (scripts/fetch-peers.sh), else the system's.
peers=$(cd "$build" && pwd)/peers
sh "$(dirname "$0")/../../scripts/fetch-peers.sh" "$peers" || peers=
nginx=$peers/usr/sbin/nginx

work=$(mktemp -d /tmp/zuhttpbench.XXXXXX)
chmod 755 "$work"
out=${OUT_DIR:-$work/out}
pid=
cleanup() {
    [ -n "$pid" ] && kill -QUIT "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$out/curl.bin" "$out/zu.bin" "$out/mid.bin" "$out/many-curl" "$out/many-zu"
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/www" "$work/tmp" "$out"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/www/big.bin"
head -c $((64 * 1048576)) /dev/urandom > "$work/www/mid.bin"
head -c 65536 /dev/urandom > "$work/www/small.bin"
chmod 644 "$work/www/"*.bin

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
listen="127.0.0.1:$port" curl_tls=
if [ "$scheme" = https ]; then
    (
        cd "$work"
        ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        openssl req -x509 $ec -keyout ca.key -out ca.pem -days 30 -subj /CN=bench-ca \
            -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign
        openssl req $ec -keyout server.key -out server.csr -subj /CN=127.0.0.1
        echo subjectAltName=IP:127.0.0.1 > server.ext
        openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 30 \
            -extfile server.ext
    ) 2>/dev/null
    listen="$listen ssl; ssl_certificate $work/server.pem; ssl_certificate_key $work/server.key"
    curl_tls="--cacert $work/ca.pem"
    export SSL_CERT_FILE="$work/ca.pem"
fi
cat > "$work/nginx.conf" <<CONF
daemon off; master_process off; user root; worker_processes 1;
pid $work/nginx.pid; error_log $work/error.log;
events { worker_connections 64; }
http { include $peers/etc/nginx/mime.types; default_type application/octet-stream;
  access_log off; client_body_temp_path $work/tmp/body; proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi; uwsgi_temp_path $work/tmp/uwsgi; scgi_temp_path $work/tmp/scgi;
  sendfile on; server { listen $listen; root $work/www; } }
CONF
"$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
pid=$!
for _ in $(seq 50); do
    curl -s $curl_tls -o /dev/null "$scheme://127.0.0.1:$port/small.bin" && break
    sleep 0.1
done

base=$scheme://127.0.0.1:$port
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime"
# A proxy set for the machine must not stand between the clients and nginx.
unset http_proxy https_proxy HTTPS_PROXY all_proxy ALL_PROXY
mkdir -m 700 "$work/runtime"
now() { date +%s%N; }

# Warm the page cache, then alternate the two clients.
cat "$work/www/big.bin" "$work/www/mid.bin" > /dev/null
large= small=
for round in $(seq "$rounds"); do
    rm -f "$out/curl.bin" "$out/zu.bin"
    sync
    t=$(curl -s $curl_tls -o "$out/curl.bin" -w '%{time_total}' "$base/big.bin")
    cmp -s "$out/curl.bin" "$work/www/big.bin" || { echo "curl copy differs" >&2; exit 1; }
    rm -f "$out/curl.bin"
    sync
    line=$("$bench" "$base/big.bin" "$out/zu.bin")
    cmp -s "$out/zu.bin" "$work/www/big.bin" || { echo "DownTo copy differs" >&2; exit 1; }
    rm -f "$out/zu.bin"
    s=$(echo "$line" | sed 's/.*seconds=\([0-9.]*\).*/\1/')
    m=$(echo "$line" | sed 's/.*peak_rss_kib=\([0-9]*\).*/\1/')
    large="$large $t:$s:$m"

    rm -rf "$out/many-curl" "$out/many-zu"
    mkdir -p "$out/many-curl" "$out/many-zu"
    start=$(now)
    i=0
    while [ $i -lt "$count" ]; do
        i=$((i + 1))
        curl -s $curl_tls -o "$out/many-curl/$i" "$base/small.bin"
    done
    curl_many=$(($(now) - start))
    start=$(now)
    "$bench" --many "$count" "$base/small.bin" "$out/many-zu" > /dev/null
    zu_many=$(($(now) - start))
    cmp -s "$out/many-zu/$count" "$work/www/small.bin" || { echo "DownTo copy differs" >&2; exit 1; }
    small="$small $curl_many:$zu_many"
    echo "round $round: 1 file: curl ${t} s, DownTo ${s} s;" \
        "$count files: curl loop $((curl_many / 1000000)) ms, one host $((zu_many / 1000000)) ms"
done
rm -rf "$out/many-curl" "$out/many-zu"
mid=$("$bench" "$base/mid.bin" "$out/mid.bin")
mid_rss=$(echo "$mid" | sed 's/.*peak_rss_kib=\([0-9]*\).*/\1/')

python3 - "$size_mib" "$scheme" "$target" "$count" "$mid_rss" "$large" "$small" <<'PY'
import statistics, sys
mib, scheme, target, count, mid_rss, large, small = sys.argv[1:]
mib, count = int(mib), int(count)
large = [tuple(float(x) for x in r.split(":")) for r in large.split()]
small = [tuple(float(x) / 1e9 for x in r.split(":")) for r in small.split()]  # from nanoseconds

def figure(values, unit=""):
    return f"median {statistics.median(values):.2f}{unit}, spread {min(values):.2f}-{max(values):.2f}{unit}"

print(f"{len(large)} rounds over loopback from nginx, {scheme}")
print(f"{mib} MiB file, curl -o : {figure([c for c, z, m in large], ' s')}")
print(f"{mib} MiB file, DownTo  : {figure([z for c, z, m in large], ' s')}"
      f" ({mib / statistics.median([z for c, z, m in large]):.0f} MiB/s)")
print(f"  throughput ratio DownTo/curl: {figure([c / z for c, z, m in large])}  (target >= {target})")
rss = max(m for c, z, m in large) // 1024
print(f"  peak RSS of DownTo: {rss:.0f} MiB, 64 MiB file: {int(mid_rss) // 1024} MiB  (target < 64)")
print(f"{count} x 64 KiB, curl -o loop: {figure([c for c, z in small], ' s')}")
print(f"{count} x 64 KiB, one host    : {figure([z for c, z in small], ' s')}"
      f" ({1000 * statistics.median([z for c, z in small]) / count:.2f} ms a file)")
# Over https each file costs the host two TLS handshakes (probe and DownTo), curl one.
note = "target >= 2" if scheme == "http" else "no target: two handshakes a file against curl's one"
print(f"  throughput ratio host/curl loop: {figure([c / z for c, z in small])}  ({note})")
PY
