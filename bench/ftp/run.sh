#!/bin/sh
# Times the FTP control's DownTo against curl fetching the same files from
# vsftpd on loopback, in the same run:
#  - one 1 GiB file, ROUNDS rounds (default 7) in which the two take turns
#    to go first; prints every round, then the median and the spread
#    (slowest / fastest) of each, the ratio of the medians and the peak
#    resident memory;
#  - 300 downloads of a 64 KiB file one after the other: one host that
#    queues them against a loop of curl runs, SMALL_ROUNDS rounds (default 3).
# Every download is compared with the served file. Both write into OUT_DIR
# (default: /dev/shm, a tmpfs, so the disk does not set the pace). The load
# of the machine is printed before and after: on a busy machine the spreads
# say more about the machine than about the programs.
#
#   [OUT_DIR=DIR] [ROUNDS=N] [SMALL_ROUNDS=N] bench/ftp/run.sh [BUILD_DIR]   (as root: vsftpd)
set -eu
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/ftpbench-runtime}"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
host="$build/bench/ftp/ftpbench"
[ -x "$host" ] || { echo "build the ftpbench target first: $host" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "vsftpd runs only as root: run this as root" >&2; exit 2; }
rounds=${ROUNDS:-7}
small_rounds=${SMALL_ROUNDS:-3}
small_count=300
[ "$rounds" -ge 7 ] || echo "note: fewer than 7 rounds make a weak median" >&2

work=$(mktemp -d /tmp/ftpbench.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
    [ -n "${made_out:-}" ] && rm -rf "$out_dir"
    :
}
trap cleanup EXIT INT TERM

free_port() {
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

mkdir -p "$work/root" "$work/empty"
if [ -n "${OUT_DIR:-}" ]; then
    out_dir=$OUT_DIR
elif [ -d /dev/shm ] && [ -w /dev/shm ]; then
    out_dir=$(mktemp -d /dev/shm/ftpbench.XXXXXX) && made_out=1
else
    out_dir=$work/out
fi
[ -d "$out_dir" ] || { mkdir -p "$out_dir" && made_out=1; }
chmod 755 "$work" "$work/root" "$work/empty"
head -c 1073741824 /dev/urandom > "$work/root/big.bin"
head -c 65536 /dev/urandom > "$work/root/small.bin"
chmod 644 "$work/root/big.bin" "$work/root/small.bin"

port=$(free_port)
pasv=$(( $(free_port) % 20000 + 30000 ))
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=NO
anon_root=$work/root
secure_chroot_dir=$work/empty
pasv_enable=YES
pasv_min_port=$pasv
pasv_max_port=$((pasv + 1000))
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
ftp_username=daemon
max_per_ip=0
max_clients=0
CONF
chmod 600 "$work/vsftpd.conf"
# The tests' private copy (scripts/fetch-peers.sh), else the system's.
peers=$build/peers
sh "$here/../../scripts/fetch-peers.sh" "$peers" || peers=
# A time limit, so the server never outlives the benchmark.
timeout 3600 "$peers/usr/sbin/vsftpd" "$work/vsftpd.conf" 0>&2 &
pid=$!
for _ in $(seq 50); do
    curl -s --max-time 2 "ftp://127.0.0.1:$port/" >/dev/null 2>&1 && break
    sleep 0.1
done

load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "machine: $(nproc) cores, load average $(load) at the start"

# Runs COMMAND under /usr/bin/time, checks OUT against SOURCE; prints "SECONDS PEAK_KB".
timed() {
    out=$1 source=$2
    shift 2
    rm -f "$out"
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/log"
    cmp -s "$out" "$source" || { echo "short or corrupt download: $*" >&2; cat "$work/log" >&2; exit 1; }
    rm -f "$out"
    cat "$work/time"
}

big_url="ftp://127.0.0.1:$port/big.bin"
small_url="ftp://127.0.0.1:$port/small.bin"
zu="env QT_QPA_PLATFORM=offscreen $host"
# One curl run a download, as a shell script fetches a list.
curl_loop='i=0; while [ $i -lt "$0" ]; do curl -s -o "$1" "$2" || exit 1; i=$((i + 1)); done'

: > "$work/curl.times"; : > "$work/zu.times"
for round in $(seq "$rounds"); do
    # The two take turns to go first, so neither always meets a warmer machine.
    for tool in $( [ $((round % 2)) -eq 1 ] && echo "curl zu" || echo "zu curl" ); do
        if [ "$tool" = curl ]; then
            set -- $(timed "$out_dir/curl.bin" "$work/root/big.bin" curl -s -o "$out_dir/curl.bin" "$big_url")
        else
            set -- $(timed "$out_dir/zu.bin" "$work/root/big.bin" $zu "$big_url" "$out_dir/zu.bin")
        fi
        echo "$1 $2" >> "$work/$tool.times"
        printf 'round %d %-6s %6.2f s  peak %d KB\n' "$round" "$( [ "$tool" = zu ] && echo DownTo || echo curl)" "$1" "$2"
    done
done

: > "$work/curl-small.times"; : > "$work/zu-small.times"
for round in $(seq "$small_rounds"); do
    set -- $(timed "$out_dir/curl-small.bin" "$work/root/small.bin" \
        sh -c "$curl_loop" "$small_count" "$out_dir/curl-small.bin" "$small_url")
    echo "$1" >> "$work/curl-small.times"
    set -- $(timed "$out_dir/zu-small.bin" "$work/root/small.bin" $zu "$small_url" "$out_dir/zu-small.bin" "$small_count")
    echo "$1" >> "$work/zu-small.times"
    printf 'small round %d  curl loop %6.2f s  DownTo queue %6.2f s\n' "$round" \
        "$(tail -1 "$work/curl-small.times")" "$1"
done
echo "machine: load average $(load) at the end"

# median, fastest, slowest and peak memory of a times file
stats() { sort -n "$1" | awk '{ t[NR] = $1; if ($2 > m) m = $2 } END {
    med = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
    print med, t[1], t[NR], m + 0 }'; }
set -- $(stats "$work/curl.times") $(stats "$work/zu.times") \
    $(stats "$work/curl-small.times") $(stats "$work/zu-small.times")
size=$(stat -c %s "$work/root/big.bin")
awk -v s="$size" -v r="$rounds" -v cm="$1" -v cf="$2" -v cs="$3" -v cr="$4" \
    -v zm="$5" -v zf="$6" -v zs="$7" -v zr="$8" -v sc="$9" -v sz="${13}" -v n="$small_count" \
    -v dir="$out_dir" 'BEGIN {
    printf "1 GiB file into %s, %d rounds each:\n", dir, r
    printf "  curl    median %.2f s (%4.0f MB/s)  fastest %.2f  slowest %.2f  spread %.2f  peak RSS %d KB\n",
        cm, s / cm / 1e6, cf, cs, cs / cf, cr
    printf "  DownTo  median %.2f s (%4.0f MB/s)  fastest %.2f  slowest %.2f  spread %.2f  peak RSS %d KB\n",
        zm, s / zm / 1e6, zf, zs, zs / zf, zr
    printf "  ratio of the medians (DownTo throughput / curl throughput): %.2f  (target >= 1.00)\n", cm / zm
    printf "  DownTo spread %.2f  (target <= 1.30, or on a busy machine <= curl'"'"'s %.2f)\n", zs / zf, cs / cf
    printf "  DownTo peak RSS %.1f MiB  (target < 32 MiB)\n", zr / 1024
    printf "%d downloads of 64 KiB one after the other, median of the rounds:\n", n
    printf "  curl loop %.2f s, DownTo queue %.2f s: DownTo %.1fx as fast\n", sc, sz, sc / sz
}'
