#!/usr/bin/env bash
# Kelmor for Windows, as a user drives it, under Wine on an Xvfb display, in a Polish Windows as its
# users run it (figures with a decimal comma). The program is cross-built from these sources with the
# Qt that tools/build-qt-mingw.sh keeps, and installed as the ZIP has it.
# It finds its windows and controls on the screen by their text (tesseract reads the screenshots) and
# clicks and types with xdotool. Twice: DEV0 the built-in simulated drive, then DEV0 a COM port that
# Wine maps to a pseudo-terminal served by kelmor-drive-sim (the menu opens DEV0 only). Each time:
# open the device, read the settings, run a step test, type in the terminal (the drive's
# identification comes back, copied from the terminal), see in the history KV 4,00 and an overshoot
# of 12,50 (copied from its table), save the history as a session file (which holds the settings
# read and the test's samples), and exit with the device open. Screenshots go to BUILD_DIR/screenshots.
#
#   windowsprogram.sh SOURCE_DIR BUILD_DIR DRIVE_SIM
#
# Exits 77 (skipped) when the Qt for Windows is not built, or Wine, Xvfb, xdotool, xclip, tesseract,
# ImageMagick or Python is missing.
set -euo pipefail
source_dir=$1
build=$2
drive_sim=$3
out=$build/screenshots
qt=$("$source_dir/tools/build-qt-mingw.sh" --where) || { echo "skipped: ./test.sh --windows builds it"; exit 77; }
for tool in wine wineboot wineserver Xvfb xdotool xclip tesseract convert import python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (./test.sh --windows installs it)"; exit 77; }
done
# Chained: the caller's || leaves errexit off inside.
cross_build() {
    cmake -S "$source_dir" -B "$build/cross" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DEigen3_DIR=/usr/share/eigen3/cmake \
        -DKELMOR_TESTS=OFF -DKELMOR_BENCH=OFF &&
        cmake --build "$build/cross" &&
        rm -rf "$build/deployed" &&
        cmake --install "$build/cross" --prefix "$build/deployed" --strip
}
mkdir -p "$build"
echo "building Kelmor for Windows with $qt"
cross_build >"$build/cross.log" 2>&1 || { tail -n 40 "$build/cross.log"; exit 1; }
bin=$build/deployed/bin
echo "deployed: $(du -sh "$build/deployed" | cut -f1)"
# The suite runs Qt offscreen; the Windows program draws on the display.
unset QT_QPA_PLATFORM
mkdir -p "$out"
rm -f "$out"/*.png
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, and a fresh Wine prefix whose COM41 is a pseudo-terminal of the drive.
Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Seconds since a time taken with `date +%s.%N`.
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
# Polish, as the users' Windows: Wine takes the Windows user locale, and with it QLocale::system() of
# the program, from the Unix locale of its processes, and at each start rewrites the prefix's Locale
# and LocaleName in HKCU\Control Panel\International to match it (set in the registry alone they do
# not hold). LC_ALL serves even where the host has no pl_PL locale generated (Wine then reads the
# variable itself; LANG it does not). Only Wine gets it: the tools here keep their own locale, in
# which they print and read "1.5".
polish() { LC_ALL=pl_PL.UTF-8 "$@"; }
started=$(date +%s.%N)
polish timeout 300 wineboot -i >/dev/null 2>&1
echo "a new Wine prefix: $(since "$started") s"
intl=$(polish timeout 60 wine reg query 'HKCU\Control Panel\International' 2>/dev/null | tr -d '\r')
if ! grep -Eq 'LocaleName[[:space:]]+REG_SZ[[:space:]]+pl-PL$' <<<"$intl" ||
    ! grep -Eq 'sDecimal[[:space:]]+REG_SZ[[:space:]]+,$' <<<"$intl"; then
    echo "the Wine prefix did not take the Polish locale; its International key holds:"
    echo "$intl"
    exit 1
fi
echo "the Wine prefix's user locale: pl-PL, decimal comma"
"$drive_sim" --baud 115200 >"$work/pty" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/pty" ] && break; sleep 0.1; done
ln -s "$(head -n 1 "$work/pty")" "$WINEPREFIX/dosdevices/com41"

# Sets X, Y, WIDTH and HEIGHT to the frame's (titled "Kelmor", and "Kelmor - [DEV0]" with a device
# window maximised in it).
frame_geometry() {
    local window
    window=$(xdotool search --onlyvisible --name '^Kelmor' | head -n 1)
    [ -n "$window" ] || { echo "no Kelmor window on the screen" >&2; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
echo 0 >"$work/shots"
# Reads the frame, or the band of it between the heights given (the tab row reads better alone);
# keeps a numbered screenshot of the screen named after the step. The reader gets the picture four
# times larger: Qt under Wine draws its text in a small bitmap font.
read_screen() {
    local shot png
    shot=$(($(cat "$work/shots") + 1))
    echo "$shot" >"$work/shots"
    png=$(printf '%s/%02d-%s.png' "$out" "$shot" "$1")
    import -window root "$png"
    frame_geometry
    local top=${2:-$Y}
    echo "$X $top" >"$work/ocr-origin"
    convert "$png" -crop "${WIDTH}x${3:-$HEIGHT}+$X+$top" +repage -filter Lanczos -resize 400% \
        -colorspace Gray "$work/big.png"
    tesseract "$work/big.png" "$work/ocr" -l eng --psm 11 tsv >/dev/null 2>&1
}
# The centre on the screen of the first word read that matches the pattern, as "x y"; none when none.
word_at() {
    local left top
    read -r left top <"$work/ocr-origin"
    awk -F'\t' -v re="$1" -v left="$left" -v top="$top" \
        'NR > 1 && $12 ~ re {print left + int(($7 + $9 / 2) / 4), top + int(($8 + $10 / 2) / 4); exit}' \
        "$work/ocr.tsv"
}
# Waits up to 30 s for a word matching the pattern, in the band given if any; prints where it is.
wait_for() {
    local step=$1 pattern=$2 at=""
    for _ in $(seq 30); do
        read_screen "$step" "${@:3}"
        at=$(word_at "$pattern")
        [ -n "$at" ] && { echo "$at"; return 0; }
        sleep 1
    done
    echo "no '$pattern' on the screen at $step; it showed:" >&2
    awk -F'\t' 'NR > 1 && $12 != "" {printf "%s ", $12}' "$work/ocr.tsv" >&2
    echo >&2
    return 1
}
# Clicks the word matching the pattern once it shows (in the band given if any); fails when it does
# not. Keeps where it clicked in $clicked.
click_word() {
    clicked=$(wait_for "$@") || exit 1
    click "$clicked"
}
click() {
    # The pointer rests on the spot before the button goes down, as a hand's would.
    # shellcheck disable=SC2086
    xdotool mousemove $1
    sleep 0.3
    xdotool click 1
    sleep 0.5
}
# Runs a command of the Port menu, reached by the keys given from its first item (the menus' small
# text is too much for the reader). Alt alone takes the menu bar to its first menu, Port, and Down
# opens it; Alt+P would not do: Port and Pomoc share the P, and it alternates between them.
port_menu() {
    frame_geometry
    # The frame takes the keys once clicked: on the status bar, where a click does nothing.
    click "$((X + WIDTH / 2)) $((Y + HEIGHT - 5))"
    local key
    for key in alt Down "$@"; do
        xdotool key "$key"
        sleep 0.7
    done
}

# Clicks at a share of the frame's width and height (the terminal and the plot stand where the layout
# puts them, whatever the font).
click_in_frame() {
    frame_geometry
    click "$(awk -v x="$X" -v y="$Y" -v w="$WIDTH" -v h="$HEIGHT" -v fx="$1" -v fy="$2" \
        'BEGIN { print int(x + w * fx), int(y + h * fy) }')"
}

# Copies the current cell of a table (Ctrl+C copies its text) and prints what was copied.
copy_cell() {
    xdotool key ctrl+c
    sleep 0.5
    xclip -o -selection clipboard 2>/dev/null || true
}

# One run of the program with its DEV0 on the port given.
drive() {
    local name=$1 port=$2
    echo "$name: DEV0 is $port"
    local launched
    launched=$(date +%s.%N)
    ZQLINK_PORTS=$port polish wine "$bin/kelmor.exe" >"$work/$name.log" 2>&1 &
    local program=$!
    pids+=("$program")
    for _ in $(seq 600); do
        xdotool search --onlyvisible --name '^Kelmor$' >/dev/null && break
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    if ! xdotool search --onlyvisible --name '^Kelmor$' >/dev/null; then
        echo "$name: no Kelmor window within 60 s; Wine said:"
        cat "$work/$name.log"
        exit 1
    fi
    echo "$name: the first window after $(since "$launched") s"
    read_screen "$name-started"
    # Port > Otwórz > DEV0: the submenu opens on Return, and DEV0, its first item, takes the next.
    port_menu Return Return
    click_word "$name-device-window" '^Nastawy$'
    click_word "$name-settings" '^Czytaj$'
    click_word "$name-read" '^Skok$'
    local tab_row=${clicked#* }
    click_word "$name-step-page" '^Wykonaj$'
    read_screen "$name-step-test"
    # The terminal is the device's keyboard: "i" and Enter ask the drive who it is; the terminal's
    # context menu then copies all it shows ("Kopiuj wszystko", its second item).
    click_in_frame 0.3 0.22
    xdotool type --delay 100 i
    xdotool key Return
    sleep 1
    read_screen "$name-typed"
    xdotool click 3
    sleep 0.7
    xdotool key Down Down Return
    sleep 0.5
    xclip -o -selection clipboard >"$work/$name-terminal.txt" 2>/dev/null || true
    if ! grep -q "KELMOR-SIM servo drive" "$work/$name-terminal.txt"; then
        echo "$name: the terminal holds no answer to what was typed:"
        cat "$work/$name-terminal.txt"
        exit 1
    fi
    echo "$name: the drive answered what was typed"
    # The tabs stand in one row: Historia is read in the row of Skok.
    click_word "$name-history" '^Historia$' $((tab_row - 15)) 30
    # The figures as the history's table shows them, with the comma of a Polish Windows: the KV read
    # and the test's overshoot. The reader cannot tell a comma from a point in this small font, nor
    # read the table's ruled header; the table's copy tells. The test's row stands 52 pixels below
    # the tab row's middle in Wine's font; Home then takes its first column, Nr, and the keys to
    # the right KV (the fifth column) and the overshoot (the fourteenth, after the nine settings).
    local kv overshoot
    frame_geometry
    click "$((X + WIDTH / 2)) $((tab_row + 52))"
    xdotool key --delay 150 Home Right Right Right Right
    kv=$(copy_cell)
    xdotool key --delay 150 Right Right Right Right Right Right Right Right Right
    overshoot=$(copy_cell)
    read_screen "$name-history-figures"
    if [ "$kv" != "4,00" ] || [ "$overshoot" != "12,50" ]; then
        echo "$name: the history shows KV '$kv' and overshoot '$overshoot', not 4,00 and 12,50"
        exit 1
    fi
    echo "$name: the history shows KV $kv and an overshoot of $overshoot %"
    # The history saved as a session file holds what the window showed: the settings read (KV
    # 4,00 is the register 1024) and the step test's samples (overshoot 12,50 %).
    # "sesję" may read as "sesie"; the save button comes first.
    click_word "$name-history-page" '^ses[ji]'
    xdotool type --delay 20 "Z:$work/$name.kses"
    xdotool key Return
    for _ in $(seq 50); do [ -s "$work/$name.kses" ] && break; sleep 0.2; done
    read_screen "$name-saved"
    python3 - "$work/$name.kses" "$name" <<'CHECK'
import json, sys
test = json.load(open(sys.argv[1]))["tests"][-1]
kv = test["settings"]["registers"]["KV"]
start, amplitude = test["startPosition"], test["amplitude"]
highest = max(s for s in test["samples"] if s is not None) - start
overshoot = 100.0 * (highest - amplitude) / amplitude
print(f"{sys.argv[2]}: KV read as register {kv} (4,00); the step overshot {overshoot:.2f} %")
sys.exit(0 if kv == 1024 and abs(overshoot - 12.5) < 0.005 else 1)
CHECK
    # Port > Koniec, the menu's last item, with the device open.
    port_menu Up Return
    for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$program" 2>/dev/null; then
        echo "$name: Kelmor did not end within 10 s of Koniec with the device open"
        import -window root "$out/$name-not-ended.png"
        exit 1
    fi
    echo "$name: Kelmor ended with the device open"
}

drive simulated sim
drive com-port COM41
echo "screenshots: $out"
