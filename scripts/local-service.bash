# Sourced by scripts/demo and scripts/check-package: sample keys, the local
# service serving them on a loopback port the system chooses, and the check
# that a download equals the service's copies. It defines functions only.

# make_sample_key ROOT KEY [SETTING...]
#   The key's files below ROOT/KEY/: a text, two binaries (one in a
#   sub-folder) and a small text two levels down. Each SETTING line (such as
#   "encipher = yes") goes to ROOT/KEY.conf; without any the key is served
#   plainly.
make_sample_key() {
    local root=$1 key=$2
    shift 2
    mkdir -p "$root/$key/photos" "$root/$key/letters/2026"
    python3 - "$root/$key" <<'PY'
import os, random, sys
base = sys.argv[1]
random.seed(2026)
words = "invoice quarterly harbour ledger parcel minutes archive ferry summit draft".split()
with open(os.path.join(base, "notes.txt"), "w") as f:
    for i in range(6000):
        f.write(" ".join(random.choice(words) for _ in range(8)) + "\n")
with open(os.path.join(base, "Quarterly report.pdf"), "wb") as f:
    f.write(b"%PDF-1.4\n" + random.randbytes(300 * 1024))
with open(os.path.join(base, "photos", "harbour.jpg"), "wb") as f:
    f.write(b"\xff\xd8\xff\xe0" + random.randbytes(180 * 1024))
with open(os.path.join(base, "letters", "2026", "welcome.txt"), "w") as f:
    f.write("Welcome to Trevasto.\n")
PY
    rm -f "$root/$key.conf"
    if [ $# -gt 0 ]; then
        printf '%s\n' "$@" >"$root/$key.conf"
    fi
}

# start_local_service PROGRAM WORK ROOT
#   A fresh key table and the service's deployment in WORK, PROGRAM (a
#   trevasto-service) serving ROOT in the background with its request log in
#   WORK/requests.log, and WORK/client.conf, the deployment that points
#   Trevasto at it. Sets local_service_pid and local_service_port; call
#   stop_local_service when done (also on failure). The reliability scripts'
#   library starts it (scripts/lib/trevasto_run.py), as it does for them:
#   it reads the port from the service's own output and stays its parent.
local_service_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib/trevasto_run.py
local_service_pid=
local_service_port=
start_local_service() {
    local program=$1 work=$2 root=$3
    coproc LOCAL_SERVICE { PYTHONDONTWRITEBYTECODE=1 exec python3 "$local_service_lib" serve \
        "$program" "$work" "$root"; }
    local_service_pid=$LOCAL_SERVICE_PID
    # Its first line is the port, once the service listens; nothing when it
    # could not start (it says why on stderr, and bash may have closed the
    # pipe already).
    local out=${LOCAL_SERVICE[0]:-}
    if [ -n "$out" ]; then
        read -r -u "$out" local_service_port || true
    fi
    if [ -z "$local_service_port" ]; then
        echo "the local service ($program) did not start" >&2
        return 1
    fi
}

stop_local_service() {
    if [ -n "$local_service_pid" ]; then
        kill "$local_service_pid" 2>/dev/null || true
        wait "$local_service_pid" 2>/dev/null || true
        local_service_pid=
    fi
}

# same_files SOURCE DEST
#   Every file below SOURCE has a copy at the same place below DEST that is
#   equal byte for byte and dated to the same second. Names what differs and
#   prints "N of M files identical" on stderr; fails unless all are.
same_files() {
    local source=$1 dest=$2 file rel same=0 total=0
    while IFS= read -r -d '' file; do
        rel=${file#"$source/"}
        total=$((total + 1))
        if ! cmp -s "$file" "$dest/$rel"; then
            echo "  $rel differs or is missing" >&2
        elif [ "$(stat -c %Y "$file")" != "$(stat -c %Y "$dest/$rel")" ]; then
            echo "  $rel is dated $(date -u -r "$dest/$rel" '+%F %T'), the service's copy" \
                "$(date -u -r "$file" '+%F %T')" >&2
        else
            same=$((same + 1))
        fi
    done < <(find "$source" -type f -print0)
    echo "$same of $total files identical to the service's copies in $dest" >&2
    [ "$same" -eq "$total" ] && [ "$total" -gt 0 ]
}
