#!/usr/bin/env bash
# The real korvsetup.exe (win64 preset) under wine64 on a virtual X display,
# held to korvsim's run of the same scenario file (scenarios/*.json) on
# wine-machine.json: windows at each press, message boxes, trace, exit code,
# programs started, final machine. README.md has the details.
#   tests/wine/run.sh [SCENARIO...]      all of them (and "argv"), or those named
# KORV_WINE_BUILD (build/win64), KORV_SIM (the linux preset's korvsim),
# KORV_WINE_KEEP=1 keeps the scratch folder. Writes only tests/wine/artifacts/.
set -uo pipefail
exec </dev/null
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$ROOT/tests/wine ART=$ROOT/tests/wine/artifacts
BUILD=${KORV_WINE_BUILD:-$ROOT/build/win64}
SIM=${KORV_SIM:-$ROOT/build/linux/tools/korvsim/korvsim}
WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all
WORK=$(mktemp -d /tmp/korv-wine.XXXXXX)
PASSED=0 FAILED=0 XVFB_PID="" LOCALE_PID="" BG_PIDS=() BGENV=() REASON=""

no() { REASON="$*"; return 1; }
# Ends this prefix's wineserver, then what the script started, by id.
end_wineserver() {
  local pid
  [[ -d "${WINEPREFIX:-}" ]] && { timeout 30 "$WINESERVER" -k; timeout 30 "$WINESERVER" -w; } 2>/dev/null
  for pid in "${BG_PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && { kill "$pid"; sleep 1; kill -KILL "$pid"; wait "$pid"; } 2>/dev/null; done
  BG_PIDS=()
}
cleanup() {
  trap '' INT TERM
  end_wineserver
  [[ -n "$LOCALE_PID" ]] && { pkill -TERM -P "$LOCALE_PID"; kill "$LOCALE_PID"; wait "$LOCALE_PID"; } 2>/dev/null
  [[ -n "$XVFB_PID" ]] && { kill "$XVFB_PID"; wait "$XVFB_PID"; } 2>/dev/null
  if [[ "${KORV_WINE_KEEP:-}" == 1 ]]; then echo "scratch folder kept: $WORK" >&2; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wrun() { local s=$1; shift; timeout -k 5 "$s" "$WINE" "$@"; }
fix() { wrun 60 'C:\korvtest\korvfix.exe' "$@"; }
# bg NAME SECONDS PROGRAM ARGS...: in the background, BGENV added; sets BG.
bg() {
  local name=$1 s=$2; shift 2
  env "${BGENV[@]}" timeout -k 5 "$s" "$WINE" "$@" >"$T/$name.out" 2>"$T/$name.err" &
  BG=$!; BG_PIDS+=("$BG")
}
bg_wait() { # PID SECONDS: the program's exit code, 124 when it did not end
  local i; for ((i = 0; i < $2 * 5; i++)); do kill -0 "$1" 2>/dev/null || { wait "$1"; return; }; sleep 0.2; done
  return 124
}
some_window() { for _ in $(seq 60); do fix windows | grep -q '^window' && return; sleep 0.5; done; }
spooler_pid() { fix procs | awk -F'\t' '$2 == "spoolsv.exe" {print $1}'; }

# Escaped texts (dbgrun's trace, Wine's log) as plain lines.
unescape() {
  awk '{ out = ""; s = $0
    while ((i = index(s, "\\")) > 0) { c = substr(s, i + 1, 1)
      out = out substr(s, 1, i - 1) (c == "n" ? "\n" : c == "r" ? "\r" : c); s = substr(s, i + 2) }
    out = out s; if (out != "\n") print out }'
}
real_trace() { [[ -f "$C/korvtest/trace.txt" ]] && unescape <"$C/korvtest/trace.txt"; }
# korvsim's report: process 1's debugger output without the time stamps.
sim_trace() {
  awk '/^process 1:/ {p = 1; next} /^process / {p = 0} p && /^  debugger output:/ {d = 1; next}
       p && /^  [a-z]/ {d = 0} d && /^    \[/ {sub(/^    \[ *[0-9]+ ms\] /, ""); print}' "$1"
}

# ---------------------------------------------------------------- windows
# Window lines in one form for both sides: the caption, each control (id,
# visible, enabled, text or progress position) by id, the tree's items. A
# tree view does not mark an item without children expanded (korvsim does).
sim_dialog() {
  jq -r 'def esc: gsub("\r"; "\\r") | gsub("\n"; "\\n") | gsub("\t"; "\\t");
    def items(d): .[]? | "item\t\(d)\t\(if .expanded and .children then "expanded" else "-" end)\t\(.text | esc)", (.children | items(d + 1));
    [.ui.dialogs[] | select(.closedAt == null)] | last // empty | "caption\t\(.caption)",
    (.controls[] | "control\t\(.id)\t\(if .visible then "visible" else "hidden" end)\t\(if .enabled then "enabled" else "disabled" end)\t\(if .progress != null then "pos=\(.progress)" else .text | esc end)"),
    (.controls[].tree | items(0))' "$1" | sort -s -t$'\t' -k1,1 -k2,2n
}
real_dialog() { # CAPTION, from $T/win.txt
  awk -F'\t' -v OFS='\t' -v c="$1" '$1 == "window" {on = $2 == c && !seen++; if (on) print "caption", c}
    on && $1 == "control" {print $1, $2, $3, $4, $6} on && $1 == "item"' "$T/win.txt" | sort -s -t$'\t' -k1,1 -k2,2n
}
window_field() { awk -F'\t' -v c="$1" -v f="$2" '$1 == "window" && $2 == c {print $f; exit}' "$T/win.txt"; }
control_rect() { # CAPTION ID
  awk -F'\t' -v c="$1" -v id="$2" '$1 == "window" {on = $2 == c && !seen++} on && $1 == "control" && $2 == id {print $5; exit}' "$T/win.txt"
}
click() { # CAPTION ID: real pointer events at the control's centre
  local l t r b
  IFS=, read -r l t r b <<<"$(control_rect "$1" "$2")"
  [[ -n "$b" ]] || no "no control $2 in '$1' to press" || return
  xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1; sleep 0.3
}
xwindow() { xdotool search --name "^$(sed 's/[][\.*^$?+(){}|/]/\\&/g' <<<"$1")\$" 2>/dev/null | head -1; }
key_in() { # TITLE KEY: X focus first (there is no window manager), then the key
  local wid; wid=$(xwindow "$1")
  [[ -n "$wid" ]] || no "no X window '$1' for key $2" || return
  timeout 10 xdotool windowfocus --sync "$wid" 2>/dev/null; xdotool key --clearmodifiers "$2"; sleep 0.3
}
# shot CAPTION NAME: the window's rectangle, with whatever lies over it. In
# NAME, {lang} stands for the language's tag, {-lang} for "-" and the tag
# except in English.
shot() {
  local l t r b name=${2//\{lang\}/$TAG}; IFS=, read -r l t r b <<<"$(window_field "$1" 3)"
  [[ $TAG == en ]] && name=${name//\{-lang\}/} || name=${name//\{-lang\}/-$TAG}
  [[ -n "$b" ]] && import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$A/$name.png" 2>/dev/null
  cp "$T/win.txt" "$A/$name.windows.txt"
}
# The window is mirrored (WS_EX_LAYOUTRTL, Cancel in the left half) exactly
# in Arabic, and shows the program's icon: Wine hands the icon set with
# WM_SETICON to the X server as _NET_WM_ICON, whose 32-pixel image (48 at
# 144 DPI) must be that of app/res/art/korvsetup.ico.
window_look() { # CAPTION
  local ex l r bl br size=32 index=1
  ex=$(window_field "$1" 4); IFS=, read -r l _ r _ <<<"$(window_field "$1" 3)"
  IFS=, read -r bl _ br _ <<<"$(control_rect "$1" 2)"
  local want=$([[ $TAG == ar ]] && echo 1 || echo 0)
  (( ((16#${ex#ex=} >> 22) & 1) == want && (bl + br < l + r) == want )) ||
    no "'$1': extended style $ex, Cancel at $bl..$br in $l..$r; mirrored expected: $want" || return
  [[ $(wine dpi) == 144 ]] && size=48 index=2
  xprop -id "$(xwindow "$1")" -notype -f _NET_WM_ICON 32c '=$0+\n' _NET_WM_ICON 2>/dev/null |
    awk -v want="$size" -F', *' '{sub(/^[^=]*=/, ""); n = split($0, v, /, */); i = 1
      while (i + 1 <= n) { w = v[i]; h = v[i + 1]; i += 2
        if (w == want && h == want) { for (k = 0; k < w * h; k++) print v[i + k]; exit } i += w * h } }' >"$A/icon.txt"
  convert "$ROOT/app/res/art/korvsetup.ico[$index]" -depth 8 rgba:- | od -An -v -tu1 |
    awk '{for (i = 1; i <= NF; i++) b[n++] = $i} END {for (i = 0; i + 3 < n; i += 4)
      printf "%.0f\n", b[i+3] * 16777216 + b[i] * 65536 + b[i+1] * 256 + b[i+2]}' >"$A/icon.expected"
  cmp -s "$A/icon.txt" "$A/icon.expected" || no "'$1': its $size-pixel _NET_WM_ICON is not the program's icon"
}
pictures() { # CAPTION: the pictures fill their frames (wine.pictures: id -> pixels)
  local id w h l t r b
  while read -r id w h; do
    IFS=, read -r l t r b <<<"$(control_rect "$1" "$id")"
    [[ -n "$b" && $((r - l)) == "$w" && $((b - t)) == "$h" ]] || no "control $id is $((r - l))x$((b - t)), not ${w}x$h" || return
  done < <(jq -r '.wine.pictures // {} | to_entries[] | "\(.key) \(.value[0]) \(.value[1])"' "$FILE")
}
# Message boxes korvsim's run showed get Enter in its order once their X window
# is there (again if up 2 s later), as do Wine's own (wine.answer). Fails when it
# answered none: after an answer the last dump is out of date.
box_title() { awk -F'\t' -v m="$(sed -n "$1p" "$T/boxes")" '$1 == "window" {t = $2} $1 == "control" && $6 == m {print t; exit}' "$T/win.txt"; }
answer_boxes() {
  local title extra answered=1
  title=$( ((BOX > 0 && SECONDS - BOX_AT >= 2)) && box_title "$BOX")
  if [[ -n $title && $(xwindow "$title") == "$BOX_WID" ]]; then
    key_in "$title" Return; BOX_AT=$SECONDS; return 0
  fi
  title=$( ((BOX < $(wc -l <"$T/boxes"))) && box_title $((BOX + 1)))
  if [[ -n $title && -n $(xwindow "$title") ]]; then
    BOX=$((BOX + 1)) BOX_WID=$(xwindow "$title") BOX_AT=$SECONDS
    [[ -z $(wine "shots.box$BOX") ]] || shot "$CAPTION" "$(wine "shots.box$BOX")"
    key_in "$title" Return; answered=0
  fi
  while read -r extra; do
    grep -q "^window	$extra	" "$T/win.txt" && key_in "$extra" Return && echo "$extra" >>"$T/answered" && answered=0
  done < <(wine 'answer[]?')
  return $answered
}

# A point of the run (a press, or wine.shots' time): korvsim runs the file
# up to it; the real run gets there when its trace has as many lines, the
# spooler is stopped if korvsim's is, and the window equals korvsim's.
checkpoint() { # AT
  "$SIM" --time-limit $(($1 - 1)) --state "$T/at.json" "$T/sim.json" >"$T/at.txt" || no "korvsim failed at $1 ms" || return
  sim_dialog "$T/at.json" >"$A/window-$1.expected"
  CAPTION=$(sed -n 's/^caption\t//p' "$A/window-$1.expected")
  local lines stopped end=$((SECONDS + 90))
  lines=$(sim_trace "$T/at.txt" | wc -l)
  stopped=$(jq -r '.services.Spooler.state' "$T/at.json")
  while :; do
    fix windows >"$T/win.txt" 2>/dev/null
    real_dialog "$CAPTION" >"$A/window-$1.real"
    ! answer_boxes && (($(real_trace | wc -l) >= lines)) && { [[ $stopped != stopped ]] || [[ -z $(spooler_pid) ]]; } &&
      { [[ -z $CAPTION ]] || cmp -s "$A/window-$1.real" "$A/window-$1.expected"; } && break
    ((SECONDS < end)) || { diff "$A/window-$1.expected" "$A/window-$1.real" >"$A/window-$1.diff"
      no "at $1 ms: not korvsim's window, trace ($lines lines) or spooler ($stopped); see window-$1.diff"; return; }
    sleep 0.5
  done
  [[ -z $CAPTION ]] || window_look "$CAPTION" || return
  [[ -z $CAPTION || $1 != "$FIRST" ]] || pictures "$CAPTION" || return
  [[ -n $SPOOLER ]] || SPOOLER=$(spooler_pid)
  [[ -z $(wine "shots[\"$1\"]") ]] || shot "$CAPTION" "$(wine "shots[\"$1\"]")"
}

# ---------------------------------------------------------------- machines
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$! DISPLAY=":$n"; export DISPLAY
    for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && return 0; sleep 0.2; done
  done
  return 1
}
# One prefix, copied for each run: Wine draws the frames (no window manager),
# a crash prints a backtrace instead of a dialog, captions in any script
# (the caption font's character set to default, Tahoma linked to fonts with
# Chinese and Arabic glyphs).
make_base_prefix() {
  export WINEPREFIX=$WORK/base
  WINEDLLOVERRIDES="mscoree=;mshtml=" timeout -k 5 240 "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1 || return 1
  local r='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' caption face
  wrun 60 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f &&
    wrun 60 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return 1
  caption=$(wrun 60 reg query 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont | awk '/CaptionFont/ {print $3}' | tr -d '\r')
  ((${#caption} > 48)) && wrun 60 reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont /t REG_BINARY /d "${caption:0:46}01${caption:48}" /f
  for face in Tahoma "Tahoma Bold"; do
    wrun 60 reg add "$r" /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei\0DejaVuSans.ttf,DejaVu Sans' /f
  done
  timeout 60 "$WINESERVER" -w; unset WINEPREFIX
  [[ -f "$WORK/base/system.reg" ]]
} >/dev/null 2>&1
# Wine takes the interface language from LC_MESSAGES; the locales are built
# for the run (the machine ships none).
make_locales() {
  local l; mkdir -p "$WORK/locale"
  for l in de_DE es_ES fr_FR it_IT ar_SA zh_CN; do localedef -i "$l" -f UTF-8 "$WORK/locale/$l.UTF-8" || return 1; done
} >/dev/null 2>&1
declare -A LOCALE=([0x0407]="de de_DE.UTF-8" [0x0C0A]="es es_ES.UTF-8" [0x040C]="fr fr_FR.UTF-8"
  [0x0410]="it it_IT.UTF-8" [0x0401]="ar ar_SA.UTF-8" [0x0804]="zh-Hans zh_CN.UTF-8")
locale_of() { echo "${LOCALE[$1]:-en C}"; }  # LANGID: tag and locale
# korvsim's file: wine-machine.json, then the scenario (lists appended), in
# LANGUAGE; a driver of the scenario is registered as korvfix add-driver
# does it, its files in the driver directory and its "3" folder.
sim_file() {
  jq -n --slurpfile b "$HERE/wine-machine.json" --slurpfile s "$FILE" --arg lang "$1" '
    def m(a; b): if (a | type) == "object" and (b | type) == "object" then reduce (b | keys[]) as $k (a; .[$k] = m(a[$k]; b[$k]))
      elif (a | type) == "array" and (b | type) == "array" then a + b else b end;
    m($b[0]; $s[0] | del(.wine)) | .ui.language = $lang | .machine.spooler.driverDirectory as $d
    | .machine.files += [.machine.spooler.drivers[]? | $d + ("\\", "\\3\\") + ("korvdrv6.dll", "korvdrv6ui.dll", "korvdrv6.dat") | {path: .}]
    | .machine.spooler.drivers |= (. // [] | map({pDriverPath: "\($d)\\3\\korvdrv6.dll", pConfigFile: "\($d)\\3\\korvdrv6ui.dll",
        pDataFile: "\($d)\\3\\korvdrv6.dat", pDefaultDataType: "RAW"} + .))'
}
# The scenario's machine in the prefix, by korvfix commands.
setup_commands() { # [usb]: only the printers (plugged in later)
  jq -r --arg only "${1:-}" '.machine as $m | ($m.usbPrinters[]? |
      ["plug-usb", "VID_\(.vid)&PID_\(.pid)\\\(.serial)", .description, "\(.portNumber)"]),
    if $only != "" then empty else ($m.spooler.ports[]? | ["add-port", .]),
      ($m.spooler.drivers[]? | ["add-driver", .pName, "C:\\Korvane"]),
      ($m.spooler.queues[]? | ["add-queue", .pPrinterName, .pPortName, .pDriverName]),
      ($m.spooler.store[]? | ["add-package", .storedInf]),
      ($m.deviceNodes[]? | ["add-printqueue-device", .friendlyName]) end | join("\t")' "$FILE"
}
wine() { jq -r ".wine.$1 // empty" "$FILE"; }  # a key of the scenario's "wine"
apply() { local -a c; while IFS=$'\t' read -r -a c; do fix "${c[@]}" >/dev/null || no "korvfix ${c[*]} failed" || return; done; }
# A machine as both sides are compared on: the USB printers (before the run),
# queues, drivers, packages, the spooler's state, the family's files in the
# driver directory and the system folder.
spooler_state() { # FILE: a scenario, a capture (korvsnap) or korvsim's --state
  jq -r '(.machine // {spooler, services, files: .kernel.files}) | .spooler.driverDirectory as $d
    | (.spooler.queues[]? | "queue\t\(.pPrinterName)\t\(.pPortName)\t\(.pDriverName)"), (.spooler.drivers[]? | "driver\t\(.pName)"),
      (.usbPrinters[]? | select(.present != false) | "usb\t\(.description)\t\(.portNumber)"),
      (.spooler.store[]? | "package\t\(.storedInf)"), "spooler\t\(.services.Spooler.state)",
      (.files[]?.path | select(test("korv|vcomp140"; "i") and (startswith($d + "\\") or test("^C:\\\\windows\\\\system32\\\\[^\\\\]+$"; "i"))) | "file\t\(.)")' "$1" | sort
}
started() { # the command lines started, the temporary copy's number aside
  sed 's/uni[0-9A-Fa-f]*\.tmp/uniXXXX.tmp/g' | sort -u
}

# A run's scratch folder T, artifacts A, and prefix: a copy of the base one
# with the installer folder at C:\Korvane\ (unins000.exe its copy of the
# program) and the tools at C:\korvtest\.
new_prefix() {
  T=$WORK/$RUN A=$ART/$RUN C=$WORK/$RUN/pfx/drive_c
  rm -rf "$A"; mkdir -p "$A" "$T/xdg" && cp -a "$WORK/base" "$T/pfx" && mkdir -p "$C/Korvane" "$C/korvtest" || return
  export WINEPREFIX=$T/pfx XDG_DATA_HOME=$T/xdg  # where Wine's recycle bin puts what it takes
  cp -r "$BUILD/wine-installer/." "$C/Korvane/" && cp "$BUILD/korvsetup.exe" "$C/Korvane/" &&
    cp "$BUILD/korvsetup.exe" "$C/Korvane/unins000.exe" && cp "$BUILD"/{dbgrun,korvfix,korvsnap}.exe "$C/korvtest/"
}

run_one() { # LANGID
  local tag loc; read -r tag loc <<<"$(locale_of "$1")"
  TAG=$tag BOX=0 BOX_AT=0 BOX_WID="" SPOOLER="" CAPTION=""
  new_prefix || no "cannot copy the prefix" || return
  sim_file "$1" >"$T/sim.json" && "$SIM" --state "$A/sim-state.json" "$T/sim.json" >"$A/sim.txt" ||
    no "korvsim refused the scenario (see $RUN/sim.txt)" || return
  jq -r 'def esc: gsub("\r"; "\\r") | gsub("\n"; "\\n"); .ui.messageBoxes[].text | esc' "$A/sim-state.json" >"$T/boxes"
  local k later; later=$(wine plugLater)
  for k in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    [[ -z $(wine dpi) ]] || wrun 60 reg add "$k" /v LogPixels /t REG_DWORD /d "$(wine dpi)" /f >/dev/null 2>&1
  done
  timeout 60 "$WINESERVER" -w  # processes started from now on read the scale
  setup_commands | if [[ -n $later ]]; then grep -v '^plug-usb'; else cat; fi | apply || return
  [[ $(jq -r '.machine.services.Spooler.state' "$FILE") == running ]] && wrun 60 net start spooler >/dev/null 2>&1
  SPOOLER=$(spooler_pid)
  # The prefix is the scenario's machine, as korvsnap.exe captures it.
  wrun 60 'C:\korvtest\korvsnap.exe' 'C:\Korvane\' -o 'C:\korvtest\before.json' >/dev/null 2>&1
  spooler_state "$C/korvtest/before.json" >"$A/before.real"
  jq "if \"$later\" == \"true\" then .machine.usbPrinters = [] else . end" "$T/sim.json" >"$T/before.json"
  spooler_state "$T/before.json" >"$A/before.expected"
  diff "$A/before.expected" "$A/before.real" >"$A/before.diff" || no "the prefix is not the scenario's machine (before.diff)" || return
  BGENV=(LOCPATH="$WORK/locale" LC_ALL="$loc" LANG="$loc")
  local holder=""
  if [[ $(jq '.machine.mutexes // [] | length' "$FILE") != 0 ]]; then  # another instance holds the mutex
    bg holder 180 'C:\Korvane\korvsetup.exe'; holder=$BG
    some_window
  fi
  local module cmd; module=$(jq -r '.machine.modulePath' "$T/sim.json") cmd=$(jq -r '.commandLine // ""' "$T/sim.json")
  BGENV+=(WINEDEBUG=-all,+process,fixme+setupapi,fixme+printui)
  # $cmd split into words: Wine joins them again into the program's command line.
  bg prog 180 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' "$module" $cmd
  local prog=$BG started; started=$(date +%s%N); BGENV=()
  if [[ -n $later ]]; then
    some_window
    setup_commands usb | apply || return
  fi
  local at points; points=$(jq -r '[.ui.presses[]?.at, (.wine.shots // {} | keys[] | tonumber? )] | unique[]' "$FILE")
  FIRST=$(head -1 <<<"$points")
  for at in $points; do
    [[ $(wine pace) != true ]] || while (( ($(date +%s%N) - started) / 1000000 < at )); do sleep 0.2; done  # real time
    checkpoint "$at" || return
    local id; id=$(jq -r --argjson t "$at" '.ui.presses[]? | select(.at == $t) | .control' "$FILE")
    [[ -z $id ]] || click "$CAPTION" "$id" || return
  done
  # The end: boxes still to come answered, every window of the run closed.
  local end=$((SECONDS + 60)) captions; captions=$(jq -r '.ui.dialogs[].caption' "$A/sim-state.json")
  while :; do
    fix windows >"$T/win.txt" 2>/dev/null; answer_boxes
    ((BOX == $(wc -l <"$T/boxes"))) && [[ -z $(comm -23 <(wine 'answer[]?' | sort) <(sort -u "$T/answered" 2>/dev/null)) ]] && ! grep -qxFf <(sed 's/^/window\t/' <<<"$captions") <(cut -f1,2 "$T/win.txt") && break
    ((SECONDS < end)) || no "message boxes answered: $BOX of $(wc -l <"$T/boxes"), Wine's windows (wine.answer) not all seen, or a window still open" || return
    sleep 0.5
  done
  bg_wait "$prog" 60; local rc=$?
  cp "$T"/*.err "$C/korvtest/trace.txt" "$A/" 2>/dev/null
  [[ $rc == "$(awk '/^  ended: exit code/ {print $4; exit}' "$A/sim.txt")" ]] || no "exit code $rc, korvsim's differs" || return
  real_trace >"$A/trace.real"; sim_trace "$A/sim.txt" >"$A/trace.expected"
  diff "$A/trace.expected" "$A/trace.real" >"$A/trace.diff" || no "trace differs from korvsim's (trace.diff)" || return
  awk 'NR % 2 == 0 && $0 != "\\n" {bad = 1} END {exit bad || NR % 2}' "$C/korvtest/trace.txt" ||
    no "a trace line is not followed by its own line feed" || return
  sed -n 's/.*, command line: //p' "$A/sim.txt" | started >"$A/started.expected"
  sed -n 's/.* cmdline L"\(.*\)"$/\1/p' "$T/prog.err" | unescape | started >"$A/started.real"
  [[ -z $(comm -23 "$A/started.expected" "$A/started.real") ]] || no "programs korvsim started that Wine did not (started.*)" || return
  local text count
  while IFS=$'\t' read -r text count; do
    (($(grep -cF -- "$text" "$T/prog.err") >= count)) || no "fewer than $count lines '$text' in prog.err" || return
  done < <(jq -r '.wine.log // {} | to_entries[] | "\(.key)\t\(.value)"' "$FILE")
  wrun 60 'C:\korvtest\korvsnap.exe' 'C:\Korvane\' -o 'C:\korvtest\after.json' >/dev/null 2>&1
  spooler_state "$C/korvtest/after.json" | grep -v '^usb' >"$A/state.real"; spooler_state "$A/sim-state.json" >"$A/state.expected"
  if [[ $(jq '.machine.deviceNodes // [] | length' "$FILE") != 0 ]]; then
    fix devnodes | sort -u >>"$A/state.real"
    jq -r '.devices.deviceNodes[] | select(.removed | not) | "devnode\t\(.friendlyName)"' "$A/sim-state.json" | sort -u >>"$A/state.expected"
  fi
  diff "$A/state.expected" "$A/state.real" >"$A/state.diff" || no "final state differs from korvsim's (state.diff)" || return
  if [[ -n $(wine newSpooler) ]]; then
    local now; now=$(spooler_pid)
    [[ -n $SPOOLER && -n $now && $now != "$SPOOLER" ]] || no "spooler not restarted (process '$SPOOLER', then '$now')" || return
  fi
  if [[ -n $holder ]]; then
    fix windows >"$T/win.txt"
    (($(grep -c '^window' "$T/win.txt") == 1)) || no "the second start left a window" || return
    click "$(awk -F'\t' '$1 == "window" {print $2; exit}' "$T/win.txt")" 2; bg_wait "$holder" 20 || no "the first instance did not end" || return
  fi
}

# Wine's CommandLineToArgvW splits argv_lines.txt as argv_expected.txt says
# (tests/platform/argv_wine_test.cpp holds the simulated splitter to it).
run_argv() {
  RUN=argv; new_prefix && cp "$HERE/argv_lines.txt" "$C/korvtest/" || return
  fix argv 'C:\korvtest\argv_lines.txt' >"$A/argv.txt" 2>"$A/argv.err"
  diff "$HERE/argv_expected.txt" "$A/argv.txt" >"$A/argv.diff" || no "Wine's splitting differs (argv.diff)"
}

result() { # RUN STARTED STATUS
  if (($3 == 0)); then PASSED=$((PASSED + 1)); echo "PASS $1 ($((SECONDS - $2))s)"
  else FAILED=$((FAILED + 1)); echo "FAIL $1: ${REASON:-failed} [$((SECONDS - $2))s]"
    import -window root "$A/failure-screen.png" 2>/dev/null; fix windows >"$A/failure-windows.txt" 2>/dev/null; fi
  end_wineserver; unset WINEPREFIX
  [[ "${KORV_WINE_KEEP:-}" == 1 ]] || rm -rf "$T/pfx"
}

main() {
  local wanted=("$@") s missing=() f
  ((${#wanted[@]})) || wanted=($(cd "$HERE/scenarios" && ls *.json | sed 's/\.json$//') argv)
  for s in "${wanted[@]}"; do [[ $s == argv || -f $HERE/scenarios/$s.json ]] || { echo "unknown scenario: $s" >&2; exit 2; }; done
  [[ -x "$WINE" ]] || missing+=("$WINE (wine64)")
  for f in Xvfb xdotool xprop convert import jq; do command -v $f >/dev/null || missing+=("$f"); done
  for f in korvsetup.exe dbgrun.exe korvfix.exe korvsnap.exe wine-installer/korvv6.inf; do [[ -e "$BUILD/$f" ]] || missing+=("$BUILD/$f"); done
  [[ -x "$SIM" ]] || missing+=("$SIM (linux preset)")
  # Missing tools on a machine that should have them fail in CI.
  ((${#missing[@]} == 0)) || { echo "SKIP all: missing ${missing[*]}"; [[ "${CI:-}" != true ]]; exit; }
  mkdir -p "$ART"
  start_xvfb || { echo "FAIL: Xvfb did not start"; exit 1; }
  make_locales & LOCALE_PID=$!
  make_base_prefix || { cp "$WORK/wineboot.log" "$ART/"; echo "FAIL: no base prefix (artifacts/wineboot.log)"; exit 1; }
  local langs lang started
  for s in "${wanted[@]}"; do
    if [[ $s == argv ]]; then started=$SECONDS REASON=""; run_argv; result argv "$started" $?; continue; fi
    FILE=$HERE/scenarios/$s.json
    langs=$(jq -r '.wine.languages // ["0x0409"] | .[]' "$FILE")
    for lang in $langs; do
      RUN=$s; (($(wc -l <<<"$langs") > 1)) && RUN=$s-$(locale_of "$lang" | cut -d' ' -f1)
      [[ $lang == 0x0409 || -z $LOCALE_PID ]] || { wait "$LOCALE_PID" || echo "note: localedef failed"; LOCALE_PID=""; }
      started=$SECONDS REASON=""; run_one "$lang"; result "$RUN" "$started" $?
    done
  done
  echo "$PASSED passed, $FAILED failed"
  ((FAILED == 0))
}
main "$@"
