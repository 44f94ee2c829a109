#!/usr/bin/env bash
# Drives the real editor under Xvfb with real key presses (xdotool, through XTEST): a person
# opens a file with CR LF line breaks from the command line and starts typing at once, makes
# new lines, copies and pastes through the X clipboard, and saves. The bytes on disk must be
# the person's text with CR LF breaks only. Then the person opens a script and types "/*" on
# its second line: the lines far below must change colour on the screen. Last, in a page, the
# person types the start of an attribute's value, picks the second value the completion pop-up
# offers with Down and Return, and saves.
#   HVTypingAsAPerson.sh PATH-TO-HALVET
set -euo pipefail
halvet=$1

for tool in Xvfb xdotool xwd python3; do
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

# A display of our own; Xvfb writes its number once it is ready for clients. Without -noreset
# the server resets when the first editor quits, and the next one, started at once, can find
# no display to connect to.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp -noreset \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 -u "$display_fd" number
export DISPLAY=":$number"

mkdir -p "$work/home" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
file="$work/notes.txt"
printf 'first\r\nsecond\r\n' >"$file"

# Starts the editor on a file and waits for its window (named after the file); sets
# halvet_pid and window.
start_editor() {
    local path=$1 log=$2 name=$3
    HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
        XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
        "$halvet" --new-instance "$path" >"$log" 2>&1 &
    halvet_pid=$!
    pids+=("$halvet_pid")
    window=""
    for _ in $(seq 1 200); do
        window=$(xdotool search --pid "$halvet_pid" --onlyvisible --name "$name" 2>/dev/null |
            head -1 || true)
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    echo "the window of $name did not appear" >&2
    cat "$log" >&2
    # A display that went away is the server's failure, not the editor's: say which.
    kill -0 "${pids[0]}" 2>/dev/null || echo "Xvfb on $DISPLAY is gone; its log:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}

start_editor "$file" "$work/halvet.log" notes
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

# A script: "/*" typed on its second line turns the lines below into a comment.
kill "$halvet_pid"
wait "$halvet_pid" 2>/dev/null || true
script="$work/cart.js"
for i in $(seq 1 60); do
    printf 'const item%d = compute("text", %d);\n' "$i" "$i"
done >"$script"
start_editor "$script" "$work/halvet-script.log" cart
xdotool windowfocus --sync "$window"
sleep 0.5
xwd -silent -id "$window" >"$work/before.xwd"
keys ctrl+Home Down
xdotool type --delay 40 '/*'
sleep 0.5
xwd -silent -id "$window" >"$work/after.xwd"

# Pixels that changed in the middle band of the window, well below the line typed on.
changed=$(python3 - "$work/before.xwd" "$work/after.xwd" <<'PY'
import struct, sys
def rows(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    size, height, per_line, colours = header[0], header[5], header[12], header[19]
    pixels = data[size + colours * 12:]
    return [pixels[y * per_line:(y + 1) * per_line] for y in range(height)]
before, after = rows(sys.argv[1]), rows(sys.argv[2])
band = range(len(before) * 4 // 10, len(before) * 8 // 10)
print(sum(sum(a != b for a, b in zip(before[y], after[y])) for y in band))
PY
)
if [ "$changed" -lt 2000 ]; then
    echo "typing /* did not re-colour the lines below it ($changed bytes changed)" >&2
    cat "$work/halvet-script.log" >&2
    exit 1
fi
echo "typing /* re-coloured the lines below ($changed bytes changed)"

# A page: the completion pop-up takes Down and Return while it shows.
kill "$halvet_pid"
wait "$halvet_pid" 2>/dev/null || true
page="$work/page.html"
printf '<p>\n' >"$page"
start_editor "$page" "$work/halvet-page.log" page
xdotool windowfocus --sync "$window"
sleep 0.3
keys ctrl+End
xdotool type --delay 60 '<a target="_'
keys Down Return ctrl+s
sleep 0.5
expected=$'<p>\n<a target="_parent"'
actual=$(cat "$page")
if [ "$actual" != "$expected" ]; then
    echo "the completed page reads $actual" >&2
    cat "$work/halvet-page.log" >&2
    exit 1
fi
echo "completed an attribute's value from the pop-up"
