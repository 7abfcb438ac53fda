#!/bin/sh
# Runs a command under a headless Weston compositor of its own, on the Wayland platform:
#   sh with-weston.sh program [args...]
# The compositor gets a private runtime folder (mode 0700, as Wayland wants it) and a
# socket named after this script's process, so parallel runs do not meet. It is stopped,
# and the folder removed, however the command ends. Its log is shown when it fails.
set -u

if ! command -v weston >/dev/null 2>&1; then
    echo "with-weston.sh: weston is not installed (tools/deps.sh test installs it)" >&2
    exit 1
fi

runtime=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-wayland.XXXXXX") || exit 1
chmod 700 "$runtime"
socket="wayland-quorlin-$$"
log="$runtime/weston.log"

XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --socket="$socket" \
    --width=1600 --height=1000 --idle-time=0 --no-config --log="$log" &
weston_pid=$!

stop_weston() {
    if kill -0 "$weston_pid" 2>/dev/null; then
        kill "$weston_pid" 2>/dev/null
        # Bounded wait, then no more patience.
        i=0
        while kill -0 "$weston_pid" 2>/dev/null && [ $i -lt 50 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        kill -9 "$weston_pid" 2>/dev/null
    fi
    wait "$weston_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap stop_weston EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Wait up to 10 s for the compositor's socket.
i=0
while [ ! -S "$runtime/$socket" ]; do
    if ! kill -0 "$weston_pid" 2>/dev/null; then
        echo "with-weston.sh: weston ended before it listened; its log:" >&2
        cat "$log" >&2
        exit 1
    fi
    if [ $i -ge 100 ]; then
        echo "with-weston.sh: no Wayland socket after 10 s; weston's log:" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
    i=$((i + 1))
done

env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland "$@"
status=$?
if [ $status -ne 0 ]; then
    echo "with-weston.sh: the command ended with status $status; weston's log:" >&2
    cat "$log" >&2
fi
exit $status
