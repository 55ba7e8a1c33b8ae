#!/bin/sh
# Throughput of the HTTP control's DownTo against curl -o, both fetching the
# same file from nginx on loopback in the same run, and the control's peak
# memory for two file sizes.
#
#   bench/http/run.sh BUILD_DIR [SIZE_MIB [http|https]]     (default 1024 http)
#
# In https mode nginx serves TLS with a certificate made here for 127.0.0.1;
# curl and the control both trust its authority (--cacert, SSL_CERT_FILE).
#
# OUT_DIR chooses where both clients write (default: a folder beside the
# served file); a tmpfs there takes the disk's write-back out of the figures.
set -eu

build=${1:?usage: run.sh BUILD_DIR [SIZE_MIB]}
size_mib=${2:-1024}
scheme=${3:-http}
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
    rm -f "$out/curl.bin" "$out/zu.bin" "$out/small.bin"
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/www" "$work/tmp" "$out"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/www/big.bin"
head -c $((64 * 1048576)) /dev/urandom > "$work/www/small.bin"
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

url=$scheme://127.0.0.1:$port/big.bin
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"

# Warm the page cache, then alternate the two clients three times each; best of three.
cat "$work/www/big.bin" > /dev/null
best_curl= best_zu= zu_rss= curl_rss=
for round in 1 2 3; do
    rm -f "$out/curl.bin" "$out/zu.bin" "$out/small.bin"
    sync
    t=$(/usr/bin/time -f '%e %M' -o "$work/curl.time" curl -s $curl_tls -o "$out/curl.bin" -w '%{time_total}' "$url")
    cmp -s "$out/curl.bin" "$work/www/big.bin" || { echo "curl copy differs" >&2; exit 1; }
    r=$(cut -d' ' -f2 "$work/curl.time")
    rm -f "$out/curl.bin"
    sync
    line=$("$bench" "$url" "$out/zu.bin")
    cmp -s "$out/zu.bin" "$work/www/big.bin" || { echo "DownTo copy differs" >&2; exit 1; }
    s=$(echo "$line" | sed 's/.*seconds=\([0-9.]*\).*/\1/')
    m=$(echo "$line" | sed 's/.*peak_rss_kib=\([0-9]*\).*/\1/')
    echo "round $round: curl ${t}s, DownTo ${s}s"
    best_curl=$(python3 -c "print(min(float(x) for x in '$best_curl $t'.split()))")
    best_zu=$(python3 -c "print(min(float(x) for x in '$best_zu $s'.split()))")
    zu_rss=$m curl_rss=$r
done
rm -f "$out/curl.bin" "$out/zu.bin" "$out/small.bin"
small=$("$bench" "$scheme://127.0.0.1:$port/small.bin" "$out/small.bin")
small_rss=$(echo "$small" | sed 's/.*peak_rss_kib=\([0-9]*\).*/\1/')

python3 - "$size_mib" "$best_curl" "$best_zu" "$zu_rss" "$small_rss" "$curl_rss" "$scheme" "$target" <<'PY'
import sys
mib, curl, zu, rss, small_rss, curl_rss, scheme, target = sys.argv[1:]
mib, curl, zu = int(mib), float(curl), float(zu)
print(f"file: {mib} MiB over loopback from nginx, {scheme}")
print(f"curl -o : {curl:.3f} s  {mib / curl:.0f} MiB/s  peak RSS {int(curl_rss) // 1024} MiB")
print(f"DownTo  : {zu:.3f} s  {mib / zu:.0f} MiB/s  peak RSS {int(rss) // 1024} MiB"
      f" (64 MiB file: {int(small_rss) // 1024} MiB)")
print(f"throughput ratio DownTo/curl: {curl / zu:.2f}  (target >= {target})")
note = "target < 32" if scheme == "http" else "OpenSSL and Qt's TLS backend included"
print(f"peak RSS of DownTo: {int(rss) // 1024} MiB  ({note})")
PY
