#!/usr/bin/env bash
# Drives the real editor under Xvfb with real key presses (xdotool, through XTEST): a person
# opens a file with CR LF line breaks from the command line and starts typing at once, makes
# new lines, copies and pastes through the X clipboard, and saves. The bytes on disk must be
# the person's text with CR LF breaks only.
#   HVTypingAsAPerson.sh PATH-TO-HALVET
set -euo pipefail
halvet=$1

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing $tool (scripts/install-deps installs it)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own; Xvfb writes its number once it is ready for clients.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 -u "$display_fd" number
export DISPLAY=":$number"

mkdir -p "$work/home" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
file="$work/notes.txt"
printf 'first\r\nsecond\r\n' >"$file"

HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    "$halvet" --new-instance "$file" >"$work/halvet.log" 2>&1 &
halvet_pid=$!
pids+=("$halvet_pid")

window=""
for _ in $(seq 1 200); do
    window=$(xdotool search --pid "$halvet_pid" --onlyvisible --name notes 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "the editor's window did not appear" >&2
    cat "$work/halvet.log" >&2
    exit 1
fi
xdotool windowfocus --sync "$window"
sleep 0.3

# No click into the text first: the editor must already have the keyboard focus.
keys() { xdotool key --delay 40 "$@"; }
keys ctrl+End
xdotool type --delay 40 'third'
keys Return
xdotool type --delay 40 'copied'
# Select the word, copy it, and paste it twice on new lines.
keys shift+Home ctrl+c End Return ctrl+v Return ctrl+v
keys ctrl+s
sleep 0.5

expected=$'first\r\nsecond\r\nthird\r\ncopied\r\ncopied\r\ncopied'
actual=$(cat "$file"; printf x)
actual=${actual%x}
if [ "$actual" != "$expected" ]; then
    echo "saved bytes differ from what was typed" >&2
    echo "expected: $(printf '%s' "$expected" | od -c | head -5)" >&2
    echo "actual:   $(printf '%s' "$actual" | od -c | head -5)" >&2
    cat "$work/halvet.log" >&2
    exit 1
fi
echo "typed, pasted and saved with CR LF line breaks"
