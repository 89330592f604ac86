#!/usr/bin/env bash
# Starts the wizard under a virtual X server, steps through it on the bundled sample database
# and saves a screenshot of every window it shows. Not a test: for looking at the windows.
#
#   tools/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]     (defaults: build, build/screenshots)
#
# Needs Xvfb, xdotool and ImageMagick (scripts/install-deps installs them). With openbox
# installed the windows get title bars, and the pictures of message boxes show them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-$build/screenshots}")
pontrel="$build/bin/pontrel"
sample="$build/sample/vessamo-sample.mdb"
[ -x "$pontrel" ] || { echo "no wizard at $pontrel: build first" >&2; exit 1; }
[ -f "$sample" ] || { echo "no sample database at $sample: build first" >&2; exit 1; }

mkdir -p "$out"
rm -f "$out"/*.png
work=$(mktemp -d)
mkdir -p "$work/shapes"
cp "$sample" "$work/vessamo-sample.mdb"

display=":$((90 + RANDOM % 100))"
# A screen of 1024x768 at scale 1, as large again at each further scale (QT_SCALE_FACTOR).
read -r screen_w screen_h < <(awk -v s="${QT_SCALE_FACTOR:-1}" 'BEGIN { print int(1024 * s), int(768 * s) }')
Xvfb "$display" -screen 0 "${screen_w}x${screen_h}x24" -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
pontrel_pid=""
wm_pid=""
cleanup() {
    [ -n "$pontrel_pid" ] && kill "$pontrel_pid" 2>/dev/null || true
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
export QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    wm_pid=$!
    sleep 1
else
    echo "no openbox: the windows have no title bars" >&2
fi

# The id of the visible window whose title is exactly $1 (an empty title: the splash).
window() {
    local title=$1 id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --pid "$pontrel_pid" --name "" 2>/dev/null); do
            if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$title" ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    echo "no window titled '$title'" >&2
    return 1
}
shot() {  # shot NAME TITLE
    local id
    id=$(window "$2")
    sleep 0.3
    import -window "$id" "$out/$1.png"
    echo "$out/$1.png"
}
# The window with its title bar, as the window manager draws it.
framed_shot() {  # framed_shot NAME TITLE
    local id
    id=$(window "$2")
    sleep 0.3
    import -frame -window "$id" "$out/$1.png"
    echo "$out/$1.png"
}
# A part of an earlier picture, three times enlarged.
closeup() {  # closeup FROM NAME GEOMETRY
    convert "$out/$1.png" -crop "$3" +repage -scale 300% "$out/$2.png"
    echo "$out/$2.png"
}
# Clicks at a position in pixels within the window titled $1, as at scale 1.
click() {
    local id x y
    id=$(window "$1")
    read -r x y < <(awk -v s="${QT_SCALE_FACTOR:-1}" -v x="$2" -v y="$3" 'BEGIN { print int(x * s), int(y * s) }')
    xdotool mousemove --window "$id" "$x" "$y" click 1
    sleep 0.3
}
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
type_text() { xdotool type --delay 5 "$1"; sleep 0.2; }
wait_for_exit() {
    for _ in $(seq 300); do kill -0 "$pontrel_pid" 2>/dev/null || break; sleep 0.1; done
    wait "$pontrel_pid" || echo "the wizard ended with status $?"
    pontrel_pid=""
}

step1="Vessamo Pontrel (1/3)"
step2="Vessamo Pontrel (2/3)"
step3="Vessamo Pontrel (3/3)"

# Day mode, the splash ending by its timer.
(cd "$work" && exec "$pontrel") &
pontrel_pid=$!
sleep 0.8
# The splash has no title to find it by; it is centred on the screen.
read -r sw sh < <(awk -v s="${QT_SCALE_FACTOR:-1}" 'BEGIN { print int(492 * s), int(283 * s) }')
import -window root -crop "${sw}x${sh}+$(((screen_w - sw) / 2))+$(((screen_h - sh) / 2))" "$out/01-splash.png"; echo "$out/01-splash.png"
sleep 2
shot 02-step1 "$step1"
closeup 02-step1 02-step1-frame 200x100+96+90   # the frame and its caption on the border
click "$step1" 512 44                      # Browse
shot 03-select-file "Select File"
key Escape
click "$step1" 300 40                      # the path box
type_text "$work/vessamo-sample.mdb"
click "$step1" 140 128                     # Day
shot 04-step1-filled "$step1"
click "$step1" 632 164                     # Next  >>
shot 05-day "$step2"
click "$step2" 175 90                      # the list's arrow
sleep 0.5
import -window root "$out/06-day-list.png"; echo "$out/06-day-list.png"   # the list is a window of its own
key Down Down Return
click "$step2" 260 164                     # Next >>
shot 07-step3-first-visit "$step3"
click "$step3" 236 288                     # << Back
click "$step2" 260 164                     # Next >>
shot 08-step3 "$step3"
closeup 08-step3 08-step3-frame 240x100+195+80   # the coordinates frame
click "$step3" 660 68                      # Options...
framed_shot 08-options "Options"
key Escape
click "$step3" 660 36                      # About
shot 09-about "About Vessamo Pontrel"
key Return
click "$step3" 520 204                     # Browse
shot 10-select-directory "Select Directory"
xdotool windowmove "$(window "Select Directory")" 240 280; sleep 0.3   # off step 3's About
click "$step3" 660 36                      # About, while the folder browser is open
window "About Vessamo Pontrel" >/dev/null; sleep 0.3   # the whole screen: both are open
import -window root "$out/10-about-over-browser.png"; echo "$out/10-about-over-browser.png"
key Return
xdotool windowactivate "$(window "Select Directory")" 2>/dev/null || true
sleep 0.3
key Escape
click "$step3" 300 201                     # the folder box
type_text "$work/shapes"
click "$step3" 240 116                     # Normal Coordinates
shot 11-step3-filled "$step3"
click "$step3" 430 288                     # Create Shape File
n=12
while id=$(window "Vessamo Pontrel" 2>/dev/null); do
    import -frame -window "$id" "$out/$n-message.png"; echo "$out/$n-message.png"
    import -window "$(window "$step3")" "$out/$n-step3-behind.png"
    n=$((n + 1))
    xdotool windowactivate "$id" 2>/dev/null || true
    key Return
    kill -0 "$pontrel_pid" 2>/dev/null || break
done
wait_for_exit
ls -l "$work/shapes"

# Parameter mode, the splash ending by a key; "Close" answered No, then Yes.
(cd "$work" && exec "$pontrel") &
pontrel_pid=$!
window "" >/dev/null
sleep 0.5
key space
click "$step1" 300 40
type_text "$work/vessamo-sample.mdb"
click "$step1" 632 164
shot 20-parameter "$step2"
click "$step2" 260 164                     # Next >> on the placeholder
framed_shot 21-pick-parameter "Vessamo Pontrel"
key Return
click "$step2" 260 196                     # Close
framed_shot 22-are-you-sure "Close Pontrel"
key n
click "$step2" 260 196
window "Close Pontrel" >/dev/null
key y
wait_for_exit
echo "screenshots in $out"
