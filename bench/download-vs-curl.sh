#!/bin/sh
# Downloads one package over loopback HTTPS from the test server with tarnwell-tool and with
# curl, and prints for each the transfer time (from the request to the last byte, as each
# program reports it), the whole process's wall time, and its peak resident memory
# (/usr/bin/time -v). The transfer decides: the tool writes its file only after the
# transfer, because the update keeps the package in memory and never writes it.
# usage: bench/download-vs-curl.sh [TOOL] [SIZE_MIB]
# With VALUES=1 in the environment it prints name=value lines instead (for bench/run-all):
# <side>_transfer_seconds, <side>_seconds, <side>_cpu_seconds, <side>_rss_kib for tool and
# curl, size_bytes, runs.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$here/build/default/Tarnwell/bin/tarnwell-tool}
mib=${2:-256}
size=$((mib * 1024 * 1024))
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
  -subj /CN=localhost -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
mkdir -p "$work/record" "$work/xdg/Velmora"
python3 "$here/tests/support/https_server.py" "$work/cert.pem" "$work/key.pem" "$work/record" \
  > "$work/port" &
server_pid=$!
while [ ! -s "$work/port" ]; do sleep 0.1; done
url="https://localhost:$(cat "$work/port")/pkg/sized?size=$size"
# The tool trusts the test certificate through the settings file, as a private server would.
cat > "$work/xdg/Velmora/UseTestServer.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>dvr_update_ca_file</key><string>$work/cert.pem</string></dict></plist>
PLIST

measure() {  # name, command...
  name=$1
  shift
  /usr/bin/time -v "$@" 2> "$work/$name.time" > "$work/$name.stdout"
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/$name.time" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$name.time")
  cpu=$(sed -n 's/.*\(User\|System\) time (seconds): //p' "$work/$name.time" |
    awk '{ s += $1 } END { print s }')
  got=$(stat -c %s "$work/$name.out")
  transfer=$(sed -n 's/^seconds=//p' "$work/$name.stdout")
  echo "$name $wall $rss $got $cpu $transfer"
}

# Runs alternate between the two, and each keeps its fastest time and its largest memory,
# so that a burst of other work on the machine does not decide the comparison.
runs=${RUNS:-3}
for _ in $(seq "$runs"); do
  XDG_CONFIG_DIRS=$work/xdg measure tool "$tool" download "$url" -o "$work/tool.out" >> "$work/results"
  measure curl curl -sS --fail --cacert "$work/cert.pem" -o "$work/curl.out" \
    -w 'seconds=%{time_total}\n' "$url" >> "$work/results"
  cmp -s "$work/tool.out" "$work/curl.out" || { echo "the two downloads differ" >&2; exit 1; }
done

if [ "${VALUES:-0}" = 1 ]; then
  awk -v runs="$runs" '
    !($1 in wall) || $2 < wall[$1] { wall[$1] = $2 }
    !($1 in cpu) || $5 < cpu[$1] { cpu[$1] = $5 }
    !($1 in transfer) || $6 < transfer[$1] { transfer[$1] = $6 }
    $3 > rss[$1] { rss[$1] = $3 }
    { size = $4 }
    END {
      for (n in wall) printf "%s_transfer_seconds=%.3f\n%s_seconds=%.3f\n%s_cpu_seconds=%.2f\n%s_rss_kib=%d\n",
                             n, transfer[n], n, wall[n], n, cpu[n], n, rss[n]
      printf "size_bytes=%d\nruns=%d\n", size, runs
    }' "$work/results"
  exit 0
fi
echo "best of $runs runs each:"
awk -v mib="$mib" '
  !($1 in wall) || $2 < wall[$1] { wall[$1] = $2 }
  !($1 in cpu) || $5 < cpu[$1] { cpu[$1] = $5 }
  !($1 in transfer) || $6 < transfer[$1] { transfer[$1] = $6 }
  $3 / 1024 > rss[$1] { rss[$1] = $3 / 1024 }
  { size[$1] = $4 }
  END {
    # CPU time (user + system) says how much work each side does, whatever else runs.
    for (n in wall) printf "%-5s transfer %5.2f s %7.1f MiB/s  process %5.2f s  CPU %5.2f s  peak RSS %6.1f MiB  (%d bytes)\n",
                           n, transfer[n], mib / transfer[n], wall[n], cpu[n], rss[n], size[n]
    ratio = transfer["curl"] / transfer["tool"]
    printf "whole processes tool/curl: %.2f\n", wall["curl"] / wall["tool"]
    printf "transfer throughput tool/curl: %.2f (at least 0.8 wanted)\n", ratio
    printf "tool peak RSS over the package: %.1f MiB (at most 64 wanted)\n", rss["tool"] - mib
    exit !(ratio >= 0.8 && rss["tool"] - mib <= 64)
  }' "$work/results"
