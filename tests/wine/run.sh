#!/usr/bin/env bash
# Wine integration tests: the x86_64 build of korvsetup.exe run for real under
# Debian's wine64, on a virtual X display, against Wine's own spooler,
# SetupAPI, registry, services, windows and command-line splitting.
# tests/wine/README.md says what each scenario proves and how Wine differs
# from Windows.
#
#   tests/wine/run.sh [SCENARIO...]      all scenarios, or the ones named
#
# Environment:
#   KORV_WINE_BUILD  build folder of the win64 preset (default build/win64):
#                    korvsetup.exe, dbgrun.exe, korvfix.exe, wine-installer/
#   KORV_SIM         the simulator for the trace comparison (default
#                    build/linux/tools/korvsim/korvsim, then build/linux/korvsim)
#   KORV_WINE_KEEP=1 keep the scratch folder (prefixes, logs) after the run
#
# Prints one line per scenario (PASS, FAIL or SKIP with the reason) and ends
# with the line "N passed, N failed"; exits non-zero when a scenario failed.
# Screenshots, recorded traces, window dumps and spooler states go to
# tests/wine/artifacts/<scenario>/ only: a run never changes tracked files.
# tests/wine/refresh-screenshots.sh copies the README's pictures from there
# into docs/screenshots/.
set -uo pipefail
exec </dev/null

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$ROOT/tests/wine
BUILD=${KORV_WINE_BUILD:-$ROOT/build/win64}
ART=$HERE/artifacts
WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
WINESERVER=/usr/lib/wine/wineserver
IMPORT=/usr/bin/import
LANGDIR=$ROOT/app/res/lang

PASSED=0 FAILED=0 SKIPPED=0
SILENT_OK=0  # the silent-install scenario passed in this run
REASON=""
XVFB_PID=""
LOCALE_PID=""  # the locales being built in the background
BG_PIDS=()
CUR=""     # the scenario running now
T=""       # its scratch folder
A=""       # its artifact folder

# ---------------------------------------------------------------- plumbing

note() { printf '    %s\n' "$*" >&2; }

# The scratch folder: prefixes, locales, logs. Removed at the end.
WORK=$(mktemp -d /tmp/korv-wine.XXXXXX)

# Ends what this script started, by id: background jobs, the wineserver of
# the current prefix, Xvfb.
stop_background() {
  local pid
  for pid in "${BG_PIDS[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null
      for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
      kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  BG_PIDS=()
}

end_wineserver() {
  [[ -n "${WINEPREFIX:-}" && -d "${WINEPREFIX:-}" ]] || return 0
  timeout 30 "$WINESERVER" -k 2>/dev/null
  # -w returns once the server has gone; bounded in case it hangs.
  timeout 30 "$WINESERVER" -w 2>/dev/null
  stop_background
}

cleanup() {
  # A second interrupt must not cut the cleaning short.
  trap '' INT TERM
  end_wineserver
  if [[ -n "$LOCALE_PID" ]] && kill -0 "$LOCALE_PID" 2>/dev/null; then
    pkill -TERM -P "$LOCALE_PID" 2>/dev/null   # its localedef, by parent id
    kill -TERM "$LOCALE_PID" 2>/dev/null
    wait "$LOCALE_PID" 2>/dev/null
  fi
  if [[ -n "$XVFB_PID" ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
    kill -TERM "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  if [[ "${KORV_WINE_KEEP:-}" == 1 ]]; then
    echo "scratch folder kept: $WORK" >&2
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a Windows program, bounded: wrun SECONDS PROGRAM ARGS...
wrun() {
  local secs=$1
  shift
  timeout -k 5 "$secs" "$WINE" "$@"
}

# Starts a Windows program in the background; its stdout and stderr go to
# $T/<name>.out and .err. Sets BG to its id. bg NAME SECONDS PROGRAM ARGS...
# The variable assignments in the array BGENV (if any) are added to its
# environment.
BGENV=()
bg() {
  local name=$1 secs=$2
  shift 2
  env "${BGENV[@]}" timeout -k 5 "$secs" "$WINE" "$@" >"$T/$name.out" 2>"$T/$name.err" &
  BG=$!
  BG_PIDS+=("$BG")
}

# Waits for a background program to end: bg_wait PID SECONDS; the exit code
# is the program's, 124 when it did not end in time.
bg_wait() {
  local pid=$1 secs=$2 i
  for ((i = 0; i < secs * 5; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$pid" 2>/dev/null; then return 124; fi
  wait "$pid"
}

fix() { wrun 60 'C:\korvtest\korvfix.exe' "$@"; }

# The family's texts from the resource sources, as korvfix prints window
# texts: \" and \\ resolved, \r \n \t kept as written. res LANG KEY
res() {
  local line
  line=$(grep -m1 -- "^$2 \"" "$LANGDIR/$1.txt") || { echo "no text $2 in $1.txt" >&2; return 1; }
  line=${line#"$2 \""}
  line=${line%\"}
  line=${line//\\\"/\"}
  printf '%s' "${line//\\\\/\\}"
}

# The first N UTF-16 units of a text in korvfix form (\r \n \t count as one).
# All texts here are in the basic plane, so characters and units agree.
cut_units() {
  local n=$1 text=$2
  text=${text//\\r/$'\x01'}
  text=${text//\\n/$'\x02'}
  text=${text//\\t/$'\x03'}
  text=$(LC_ALL=C.UTF-8 bash -c 'printf "%s" "${1:0:$2}"' _ "$text" "$n")
  text=${text//$'\x01'/\\r}
  text=${text//$'\x02'/\\n}
  printf '%s' "${text//$'\x03'/\\t}"
}

# wsprintfW of the texts with %ws only: fmt ARG... (one argument per %ws;
# surplus arguments are dropped, as wsprintfW ignores them).
fmt() {
  local text=$1
  shift
  local a
  for a in "$@"; do
    [[ "$text" == *%ws* ]] || break
    text=${text/\%ws/$a}
  done
  printf '%s' "$text"
}

# ---------------------------------------------------------------- checks
# Each returns 1 with REASON set when the check fails.

# has FILE TEXT WHAT: FILE holds TEXT as a whole line.
has() {
  grep -qxF -- "$2" "$1" && return 0
  REASON="$3: no line '$2' in ${1#"$ROOT"/}"
  return 1
}

# has_not FILE TEXT WHAT: no line of FILE contains TEXT.
has_not() {
  grep -qF -- "$2" "$1" || return 0
  REASON="$3: '$2' found in ${1#"$ROOT"/}"
  return 1
}

# same FILE EXPECTEDFILE WHAT: the two files are equal.
same() {
  if diff -u "$2" "$1" >"$1.diff" 2>&1; then
    rm -f "$1.diff"
    return 0
  fi
  REASON="$3 differs from ${2#"$ROOT"/} (see ${1#"$ROOT"/}.diff)"
  return 1
}

# ---------------------------------------------------------------- windows

# Dumps the windows titled TITLE into $T/win.txt (korvfix windows format).
dump() { fix windows "$1" >"$T/win.txt" 2>/dev/null; }

# Waits until the dump of TITLE holds the line LINE: wait_line TITLE LINE SECS
wait_line() {
  local title=$1 want=$2 secs=${3:-30} end=$((SECONDS + ${3:-30}))
  while ((SECONDS < end)); do
    dump "$title"
    grep -qxF -- "$want" "$T/win.txt" && return 0
    sleep 0.5
  done
  REASON="window '$title': no line '$want' within ${secs}s (last dump in artifacts: $CUR/last-windows.txt)"
  cp "$T/win.txt" "$A/last-windows.txt" 2>/dev/null
  return 1
}

# Waits until no window is titled TITLE: wait_gone TITLE SECS
wait_gone() {
  local end=$((SECONDS + ${2:-20}))
  while ((SECONDS < end)); do
    dump "$1"
    grep -q '^window' "$T/win.txt" || return 0
    sleep 0.5
  done
  REASON="window '$1' still open after ${2:-20}s"
  return 1
}

# Waits until a window is titled TITLE: wait_window TITLE SECS
wait_window() {
  local end=$((SECONDS + ${2:-30}))
  while ((SECONDS < end)); do
    dump "$1"
    grep -q '^window' "$T/win.txt" && return 0
    sleep 0.5
  done
  REASON="no window '$1' within ${2:-30}s"
  fix windows >"$A/last-windows.txt" 2>/dev/null
  return 1
}

# Waits until control ID of the window TITLE shows TEXT: wait_text TITLE ID TEXT SECS
wait_text() {
  local end=$((SECONDS + ${4:-30}))
  while ((SECONDS < end)); do
    dump "$1"
    [[ "$(control_line "$2" | cut -f7-)" == "$3" ]] && return 0
    sleep 0.5
  done
  REASON="window '$1': control $2 shows '$(control_line "$2" | cut -f7-)', not '$3', after ${4:-30}s"
  cp "$T/win.txt" "$A/last-windows.txt" 2>/dev/null
  return 1
}

# The control line of id ID in the last dump, as "control ID class ...".
control_line() { awk -F'\t' -v id="$1" '$1 == "control" && $2 == id' "$T/win.txt" | head -1; }

# control ID STATE TEXT: the last dump's control ID is visible/hidden, and
# (when TEXT is given) shows exactly TEXT.
control() {
  local line
  line=$(control_line "$1")
  if [[ -z "$line" ]]; then REASON="control $1 missing"; return 1; fi
  local vis text
  vis=$(cut -f4 <<<"$line")
  text=$(cut -f7- <<<"$line")
  if [[ "$vis" != "$2" ]]; then REASON="control $1 is $vis, expected $2"; return 1; fi
  if (($# >= 3)) && [[ "$text" != "$3" ]]; then
    REASON="control $1 shows '$text', expected '$3'"
    return 1
  fi
  return 0
}

# The window of the last dump is mirrored (WS_EX_LAYOUTRTL) exactly when
# MIRRORED is 1 — in a mirrored window control ID, at the right in the
# template, lies in the left half — and shows the program's icon: Wine hands
# the icon set with WM_SETICON to the X server as _NET_WM_ICON, where a
# taskbar reads it, and its 32-pixel image must be the one of
# app/res/art/korvsetup.ico (without an icon of its own the window would
# get Wine's default one there; WM_GETICON does not answer across
# processes under Wine).
# window_look MIRRORED ID
window_look() {
  local line title ex rect l r bl br
  line=$(awk -F'\t' '$1 == "window"' "$T/win.txt" | head -1)
  title=$(cut -f2 <<<"$line")
  rect=$(cut -f5 <<<"$line")
  ex=$(cut -f6 <<<"$line")
  ex=${ex#ex=}
  [[ $ex =~ ^[0-9a-fA-F]+$ ]] || { REASON="no extended style in the window dump"; return 1; }
  local mirrored=$(((16#$ex & 0x400000) != 0))
  ((mirrored == $1)) || { REASON="extended style $ex: mirrored $mirrored, expected $1"; return 1; }
  IFS=, read -r l _ r _ <<<"$rect"
  IFS=, read -r bl _ br _ <<<"$(control_line "$2" | cut -f6)"
  local left=$((bl + br < l + r))
  ((left == $1)) || { REASON="control $2 at $bl..$br in a window at $l..$r: mirrored $1 expected"; return 1; }
  local re wid
  re=$(printf '%s' "$title" | sed 's/[][\.*^$?+(){}|/]/\\&/g')
  wid=$(xdotool search --name "^$re\$" 2>/dev/null | head -1)
  # The big icon: 32 pixels at 100 %, 48 at 150 %.
  local size=32
  (($(screen_dpi) >= 144)) && size=48
  xprop -id "$wid" -notype -f _NET_WM_ICON 32c '=$0+\n' _NET_WM_ICON 2>/dev/null | x_icon "$size" >"$A/icon.txt"
  app_icon "$size" >"$A/icon.expected"
  [[ -s "$A/icon.expected" ]] || { REASON="cannot read app/res/art/korvsetup.ico"; return 1; }
  same "$A/icon.txt" "$A/icon.expected" "the window's $size-pixel icon (_NET_WM_ICON)"
}

# The scale the current prefix runs at (dots per inch).
screen_dpi() {
  local dpi
  dpi=$(wrun 30 reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null | awk '/LogPixels/ {print $3}' | tr -d '\r')
  [[ $dpi =~ ^0x[0-9a-fA-F]+$ ]] && echo $((dpi)) || echo 96
}

# The SIZE x SIZE image of _NET_WM_ICON (xprop's "=w, h, argb, ..., w, h,
# ..." on stdin) as one ARGB number a line; nothing when it has none.
x_icon() {
  awk -v want="$1" -F', *' '{
    sub(/^[^=]*=/, ""); n = split($0, v, /, */)
    i = 1
    while (i + 1 <= n) {
      w = v[i]; h = v[i + 1]; i += 2
      if (w == want && h == want) { for (k = 0; k < w * h; k++) print v[i + k]; exit }
      i += w * h
    }
  }'
}

# The SIZE x SIZE image of the program's icon (app/res/art/korvsetup.ico)
# in the same form: ARGB, alpha in the high byte.
app_icon() {
  local index=0  # the file holds 16, 32 and 48 pixels, in that order
  [[ $1 == 32 ]] && index=1
  [[ $1 == 48 ]] && index=2
  convert "$ROOT/app/res/art/korvsetup.ico[$index]" -depth 8 rgba:- 2>/dev/null | od -An -v -tu1 |
    awk '{for (i = 1; i <= NF; i++) b[n++] = $i}
         END {for (i = 0; i + 3 < n; i += 4) printf "%.0f\n", b[i+3] * 16777216 + b[i] * 65536 + b[i+1] * 256 + b[i+2]}'
}

# Control ID of the last dump is W x H pixels: size_of ID W H
size_of() {
  local l t r b
  IFS=, read -r l t r b <<<"$(control_line "$1" | cut -f6)"
  [[ -n "$b" && $((r - l)) == "$2" && $((b - t)) == "$3" ]] && return 0
  REASON="control $1 is $((r - l))x$((b - t)) pixels, expected $2x$3"
  return 1
}

# Clicks the centre of control ID of the last dump (real pointer events
# through the X server, as a person would).
click() {
  local rect l t r b
  rect=$(control_line "$1" | cut -f6)
  if [[ -z "$rect" ]]; then REASON="no control $1 to click"; return 1; fi
  IFS=, read -r l t r b <<<"$rect"
  xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
  sleep 0.3
}

# Presses KEY in the window titled TITLE: the X focus goes to it first,
# as a click on it would (there is no window manager to do it).
key_in() {
  local title=$1 key=$2 wid re
  re=$(printf '%s' "$title" | sed 's/[][\.*^$?+(){}|/]/\\&/g')
  wid=$(xdotool search --name "^$re\$" 2>/dev/null | head -1)
  if [[ -z "$wid" ]]; then REASON="no X window '$title' for key $key"; return 1; fi
  timeout 10 xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key --clearmodifiers "$key"
  sleep 0.3
}

# Screenshot of the window titled TITLE (the last dump's rectangle, so a
# message box over it is in the picture) into the artifacts: shot TITLE NAME
shot() {
  local title=$1 name=$2 rect l t r b
  dump "$title"
  rect=$(awk -F'\t' '$1 == "window" {print $5; exit}' "$T/win.txt")
  if [[ -z "$rect" ]]; then note "no window '$title' to photograph"; return 0; fi
  IFS=, read -r l t r b <<<"$rect"
  "$IMPORT" -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$A/$name.png" 2>/dev/null ||
    note "screenshot $name failed"
  cp "$T/win.txt" "$A/$name.windows.txt"
}

# ---------------------------------------------------------------- prefixes

start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.2
    done
  done
  return 1
}

# One prefix per run, made while nothing else runs; every scenario gets a
# copy of it.
make_base_prefix() {
  export WINEPREFIX=$WORK/base
  # No Mono or Gecko download prompts: the program needs neither.
  WINEDLLOVERRIDES="mscoree=;mshtml=" timeout -k 5 240 "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1 ||
    return 1
  # Wine draws the window frames itself (there is no window manager), so
  # the screenshots show captions; a crash ends the process with a
  # backtrace on stderr instead of waiting on a dialog.
  wrun 60 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 &&
    wrun 60 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    return 1
  # Captions in any script: Wine draws them with a font of the ANSI
  # character set, which finds no Chinese or Arabic glyphs; the default set
  # lets it fall back, and Tahoma (behind "MS Shell Dlg") links to fonts
  # that have them.
  local caption
  caption=$(wrun 60 reg query 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont 2>/dev/null |
    awk '/CaptionFont/ {print $3}' | tr -d '\r')
  if ((${#caption} > 48)); then
    wrun 60 reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont /t REG_BINARY \
      /d "${caption:0:46}01${caption:48}" /f >/dev/null 2>&1
  fi
  local face
  for face in Tahoma "Tahoma Bold"; do
    wrun 60 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
      /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei\0DejaVuSans.ttf,DejaVu Sans' /f >/dev/null 2>&1
  done
  # The registry is written out when the server ends.
  timeout 60 "$WINESERVER" -w || end_wineserver
  unset WINEPREFIX
  [[ -f "$WORK/base/system.reg" ]]
}

# A scenario's own prefix: a copy of the base one, the installer folder at
# C:\Korvane (with unins000.exe, the uninstaller copy), the test tools at
# C:\korvtest.
new_prefix() {
  T=$WORK/$CUR
  mkdir -p "$T"
  cp -a "$WORK/base" "$T/pfx" || return 1
  export WINEPREFIX=$T/pfx
  local c=$T/pfx/drive_c
  mkdir -p "$c/Korvane" "$c/korvtest" "$T/xdg"
  cp -r "$BUILD/wine-installer/." "$c/Korvane/"
  cp "$BUILD/korvsetup.exe" "$c/Korvane/korvsetup.exe"
  cp "$BUILD/korvsetup.exe" "$c/Korvane/unins000.exe"
  cp "$BUILD/dbgrun.exe" "$BUILD/korvfix.exe" "$c/korvtest/"
  # Where Wine's recycle bin puts what the uninstaller recycles.
  export XDG_DATA_HOME=$T/xdg
}

# A recorded trace (dbgrun's file) as plain lines: one debug string each,
# with dbgrun's escapes resolved; the separate line feed that follows every
# trace line is dropped, so each trace line stands alone.
plain_trace() {
  awk '{
    out = ""; s = $0
    while ((i = index(s, "\\")) > 0) {
      c = substr(s, i + 1, 1)
      out = out substr(s, 1, i - 1) (c == "n" ? "\n" : c == "r" ? "\r" : c)
      s = substr(s, i + 2)
    }
    out = out s
    if (out != "\n") print out
  }' "$1"
}

# The recorded trace must alternate: every debug string is followed by a
# string holding only a line feed.
trace_well_formed() {
  awk 'NR % 2 == 0 && $0 != "\\n" { bad = 1 } END { exit bad || NR % 2 }' "$1" && return 0
  REASON="trace ${1#"$ROOT"/}: a line is not followed by its own line feed"
  return 1
}

# ---------------------------------------------------------------- scenarios
#
# Each returns 0 (pass), 1 (fail, REASON set) or 2 (skip, REASON set).

EN_TITLE=$(res en dlg106)
UN_TITLE=$(res en dlg105)
PRINTER="Korvane KV-T100B"

# The prefix with a supported printer plugged into USB001.
plug_printer() {
  fix plug-usb 'VID_2D37&PID_0001\SER001' KorvaneKV-T100B 1 >"$T/plug.txt" &&
    fix add-port USB001 >/dev/null && fix list-usb >"$T/usb.txt" ||
    { REASON="fixture plug-usb/add-port failed"; return 1; }
  has "$T/usb.txt" $'usb\t\\\\?\\usb#vid_2d37&pid_0001#ser001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}' \
    "plugged printer not enumerated"
}

# The family installed as an earlier run would leave it.
install_family() {
  fix add-port USB001 >/dev/null &&
    fix add-driver "$PRINTER" 'C:\Korvane' &&
    fix add-queue "$PRINTER" USB001 "$PRINTER" ||
    { REASON="fixture add-driver/add-queue failed"; return 1; }
}

# The installer window while no printer is connected; "Wizard" starts the
# system's printer wizard on the shipped INF.
s_installer_no_printer() {
  # +process makes Wine log each process creation with its command line:
  # that is how the wizard's command line is observed.
  capture || return 1
  BGENV=(WINEDEBUG=-all,+process,fixme+printui,fixme+setupapi)
  bg prog 120 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe'
  BGENV=()
  local prog=$BG t101
  t101=$(res en 101)
  # The worker's first pass ends with text 101 in the status.
  wait_text "$EN_TITLE" 1006 "$t101" 40 || return 1
  control 1006 visible "$t101" || return 1
  control 3 visible "$(res en dlg106.3)" || return 1   # Wizard offered
  control 1007 visible '#113' || return 1              # the connection picture
  control 1005 hidden || return 1                      # no log, no progress
  control 1003 hidden || return 1
  control 2 visible "$(res en dlg106.2)" || return 1
  # At 96 DPI the pictures show at their own size; the icon is set.
  size_of -1 67 67 || return 1
  size_of 1007 490 122 || return 1
  window_look 0 2 || return 1
  shot "$EN_TITLE" installer-no-printer
  # The search goes on once a second. Between passes the worker asks for a
  # synchronous re-enumeration of the device tree; Wine's configuration
  # manager has only stubs for it (CM_Locate_DevNodeW and
  # CM_Reenumerate_DevNode log "stub" and answer CR_CALL_NOT_IMPLEMENTED),
  # which the worker does not examine.
  sleep 3
  local passes
  passes=$(grep -c 'fixme:setupapi:CM_Reenumerate_DevNode 0x00000000 0x00000001: stub' "$T/prog.err")
  ((passes >= 3)) || { REASON="only $passes search passes seen (see $CUR/prog.err)"; return 1; }

  # "Wizard": rundll32 printui.dll PrintUIEntry /ii /f "<InstallDir>korvv6.inf".
  click 3 || return 1
  local want='cmdline L"rundll32.exe printui.dll PrintUIEntry /ii /f \"C:\\Korvane\\korvv6.inf\""'
  local end=$((SECONDS + 20))
  until grep -qF -- "$want" "$T/prog.err"; do
    ((SECONDS < end)) || { REASON="no process started with $want (see $CUR/prog.err)"; return 1; }
    sleep 0.5
  done
  # Wine's printui.dll knows no /ii (it logs "command not implemented"), so
  # no wizard window opens there; on Windows the Add Printer Driver wizard
  # would. The installer window stays open and keeps searching.
  sleep 2
  dump "$EN_TITLE"
  control 3 visible || return 1
  control 1006 visible "$t101" || return 1
  has_not "$T/prog.err" "Unhandled exception" "crash after Wizard" || return 1
  # The search loop traces nothing while no printer is connected, and the
  # runtime is already in the system folder, so the trace is empty.
  [[ -s "$T/pfx/drive_c/korvtest/trace.txt" ]] &&
    { REASON="unexpected trace lines with no printer (see $CUR/trace.txt)"; return 1; }

  # "Cancel" ends the program with exit code 0.
  click 2 || return 1
  bg_wait "$prog" 20
  local rc=$?
  ((rc == 0)) || { REASON="exit code $rc after Cancel"; return 1; }
  fix state >"$A/state.txt"
  has_not "$A/state.txt" "queue" "queue without printer" || return 1
  predict "$T/pfx/drive_c/korvtest/trace.txt" "" \
    '{"presses": [{"at": 3000, "dialog": 106, "control": 3}, {"at": 8000, "dialog": 106, "control": 2}]}'
}

# The expected trace of an installation of the plugged-in printer under
# Wine: no driver store, so the upload fails with E_NOTIMPL and the manual
# path stages the files, registers the driver and adds the queue. Wine's
# spooler lists USB001 (the Ports key), so no spooler restart follows.
# With a second, unsupported printer (silent-install) the pass starts with
# its line: discovery lists the printers newest first, and Wine enumerates
# the interfaces in the order they were plugged in.
expected_install_trace() { # [with-unsupported]
  local dd='C:\windows\system32\spool\drivers\x64'
  [[ -n "${1:-}" ]] && echo "Found not model KorvaneKV-Z999"
  cat <<EOF
Found model KorvaneKV-T100B, Korvane KV-T100B
Installing printer model: $PRINTER, name: $PRINTER, port: USB001
DoUploadDriverPackage, , code:-2147467263.
Remove file:$dd\\korvdrv6.dll, 0, errcode:2.
CopyFile file:C:\\Korvane\\amd64\\korvdrv6.dll to $dd\\korvdrv6.dll, 1, errcode:0.
Remove file:$dd\\korvdrv6ui.dll, 0, errcode:2.
CopyFile file:C:\\Korvane\\amd64\\korvdrv6ui.dll to $dd\\korvdrv6ui.dll, 1, errcode:0.
CopyFile file:C:\\Korvane\\dat\\korvdrv6.dat to $dd\\korvdrv6.dat, 1, errcode:0.
EOF
}

# What Wine's spooler holds after an installation.
check_installed_state() {
  fix state >"$A/state.txt"
  has "$A/state.txt" $'queue\t'"$PRINTER"$'\tUSB001\t'"$PRINTER" "queue on USB001" || return 1
  has "$A/state.txt" $'driver8\t'"$PRINTER"$'\tC:\\windows\\system32\\spool\\drivers\\x64\\3\\korvdrv6.dll\t0.0.0.0' \
    "registered driver" || return 1
  local f
  for f in korvdrv6.dll korvdrv6ui.dll korvdrv6.dat; do
    has "$A/state.txt" $'file\tC:\\windows\\system32\\spool\\drivers\\x64\\'"$f" "staged $f" || return 1
  done
  # The model needs no language monitor: none is registered or copied.
  has_not "$A/state.txt" "korvmon" "language monitor" || return 1
}

s_silent_install() {
  plug_printer || return 1
  # A second printer of the maker whose model is not supported: discovery
  # lists it, the lookup turns it away with a trace line, nothing is
  # installed for it.
  fix plug-usb 'VID_2D37&PID_0099\SER099' KorvaneKV-Z999 2 >/dev/null ||
    { REASON="fixture plug-usb (second printer) failed"; return 1; }
  capture || return 1
  wrun 180 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe' /silence \
    >"$T/prog.out" 2>"$T/prog.err"
  local rc=$?
  cp "$T/pfx/drive_c/korvtest/trace.txt" "$A/trace.txt" 2>/dev/null
  ((rc == 0)) || { REASON="exit code $rc (see $CUR/prog.err)"; return 1; }
  trace_well_formed "$A/trace.txt" || return 1
  plain_trace "$A/trace.txt" >"$A/trace.lines"
  expected_install_trace with-unsupported >"$A/trace.expected"
  same "$A/trace.lines" "$A/trace.expected" "recorded trace" || return 1
  check_installed_state || return 1
  # No window at any time.
  fix windows >"$A/windows-after.txt"
  has_not "$A/windows-after.txt" "$EN_TITLE" "window in silent mode" || return 1
  predict "$A/trace.txt" /silence || return 1
  SILENT_OK=1
}

# The installer window searching, then the printer plugged in: the next
# search pass finds it and installs it.
s_window_install() {
  bg prog 180 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe'
  local prog=$BG
  wait_text "$EN_TITLE" 1006 "$(res en 101)" 40 || return 1
  plug_printer || return 1
  # The worker renames "Cancel" to "Done" when every printer is installed.
  wait_text "$EN_TITLE" 2 "$(res en 118)" 90 || return 1
  local found done_text
  found=$(fmt "$(res en 117)" "$PRINTER" USB001)
  done_text=$(fmt "$(res en 103)" "$PRINTER" USB001)
  control 1005 visible "$found$done_text" || return 1   # the log: both lines
  control 1006 visible "$done_text" || return 1
  # The template's bar has PBS_MARQUEE; the window clears it when it opens,
  # so the bar shows (and reads back) the position the worker posted last.
  control 1003 visible pos=100 || return 1
  control 3 hidden || return 1
  control 1007 hidden || return 1
  shot "$EN_TITLE" installer-installed
  click 2 || return 1
  bg_wait "$prog" 20
  local rc=$?
  ((rc == 0)) || { REASON="exit code $rc after Done"; return 1; }
  cp "$T/pfx/drive_c/korvtest/trace.txt" "$A/trace.txt"
  trace_well_formed "$A/trace.txt" || return 1
  plain_trace "$A/trace.txt" >"$A/trace.lines"
  expected_install_trace >"$A/trace.expected"
  same "$A/trace.lines" "$A/trace.expected" "recorded trace" || return 1
  check_installed_state
}

s_second_instance() {
  bg first 120 'C:\Korvane\korvsetup.exe'
  local first=$BG
  wait_window "$EN_TITLE" 30 || return 1
  local start=$SECONDS
  wrun 30 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace2.txt' 'C:\Korvane\korvsetup.exe' >"$T/second.out" 2>"$T/second.err"
  local rc=$? took=$((SECONDS - start))
  cp "$T/pfx/drive_c/korvtest/trace2.txt" "$A/trace-second.txt" 2>/dev/null
  ((rc == 0)) || { REASON="second instance: exit code $rc"; return 1; }
  ((took <= 10)) || { REASON="second instance took ${took}s to end"; return 1; }
  # It showed nothing and wrote nothing: no second window, no debug output.
  dump "$EN_TITLE"
  local windows
  windows=$(grep -c '^window' "$T/win.txt")
  ((windows == 1)) || { REASON="$windows installer windows after the second start"; return 1; }
  [[ -s "$A/trace-second.txt" ]] && { REASON="the second instance wrote debug output"; return 1; }
  fix procs >"$A/procs.txt"
  local n
  n=$(grep -c $'\tkorvsetup.exe\t' "$A/procs.txt")
  ((n == 1)) || { REASON="$n korvsetup.exe processes running"; return 1; }
  shot "$EN_TITLE" first-instance
  click 2 || return 1
  bg_wait "$first" 20 || { REASON="first instance did not end on Cancel"; return 1; }
}

# The uninstall window's tree for the family installed by install_family,
# as Wine reports the driver: its level-8 record carries no INF path, no
# manufacturer and version 0.0.0.0 (Wine keeps none of them), so the driver
# stands under "Printer driver list:" rather than under a package.
family_tree() { # STATUS-OF-DRIVER STATUS-OF-QUEUE
  printf 'item\t0\t-\t%s\n' "$(fmt "$(res en 116)" 'C:\Korvane\')"
  printf 'item\t0\texpanded\t%s\n' "$(res en 107)"
  printf 'item\t1\texpanded\t%s\n' "Printer Driver:$PRINTER, , version:0.0.0.0, $1"
  printf 'item\t2\t-\t%s\n' "$(fmt "$(res en 110)" "$PRINTER" USB001 "$2")"
}

tree_of_dump() { grep '^item' "$T/win.txt"; }

# A plain start with the family installed hands over to unins000.exe, which
# copies itself to the temporary folder and relaunches with -u and the
# folder; /silence does the same.
s_handoff() {
  install_family || return 1
  capture || return 1
  local mode
  for mode in silence plain; do
    local args=()
    [[ $mode == silence ]] && args=(/silence)
    wrun 60 'C:\korvtest\dbgrun.exe' "C:\\korvtest\\trace-$mode.txt" 'C:\Korvane\korvsetup.exe' "${args[@]}" \
      >"$T/start.out" 2>"$T/start.err"
    local rc=$?
    ((rc == 0)) || { REASON="$mode start: exit code $rc"; return 1; }
    wait_line "$UN_TITLE" "$(family_tree "" "" | tail -1)" 40 || return 1
    tree_of_dump >"$A/tree-$mode.txt"
    family_tree "" "" >"$A/tree.expected"
    same "$A/tree-$mode.txt" "$A/tree.expected" "tree after $mode hand-off" || return 1
    # The window belongs to the temporary copy, started as
    # "<temp>\uniXXXX.tmp" -u "C:\Korvane\ (no closing quote: the folder
    # arrives whole, trailing backslash and all, as the tree shows).
    fix procs >"$A/procs-$mode.txt"
    grep -qE $'\tuni[0-9a-fA-F]{1,4}\\.tmp\t"C:\\\\users\\\\[^\\\\]+\\\\Temp\\\\uni[0-9a-fA-F]{1,4}\\.tmp" -u "C:\\\\Korvane\\\\$' \
      "$A/procs-$mode.txt" || { REASON="no relaunched temporary copy with the expected command line (see $CUR/procs-$mode.txt)"; return 1; }
    grep -qF $'\tunins000.exe\t' "$A/procs-$mode.txt" && { REASON="unins000.exe still running after its relaunch"; return 1; }
    grep -qF $'\tkorvsetup.exe\t' "$A/procs-$mode.txt" && { REASON="korvsetup.exe still running after the hand-off"; return 1; }
    # No installation was attempted.
    [[ -s "$T/pfx/drive_c/korvtest/trace-$mode.txt" ]] &&
      { REASON="$mode start traced an installation"; return 1; }
    if [[ $mode == plain ]]; then shot "$UN_TITLE" uninstall-list; fi
    dump "$UN_TITLE"
    click 2 || return 1
    wait_gone "$UN_TITLE" 20 || return 1
    # Let the copy finish ending before the next start takes the mutex.
    local end=$((SECONDS + 20))
    while fix procs | grep -qE $'\tuni[0-9a-fA-F]+\\.tmp\t'; do
      ((SECONDS < end)) || { REASON="the temporary copy did not end"; return 1; }
      sleep 0.5
    done
  done
  fix state >"$A/state.txt"
  has "$A/state.txt" $'queue\t'"$PRINTER"$'\tUSB001\t'"$PRINTER" "queue left in place" || return 1
  predict "$T/pfx/drive_c/korvtest/trace-silence.txt" /silence
}

# Remove on the family's driver and queue. The queue goes; the driver stays
# because Wine's DeletePrinterDriverExW refuses every delete flag with
# ERROR_INVALID_PARAMETER (87), where Windows deletes the driver and its
# unused files. The program does what it does on Windows for a driver that
# cannot be deleted: ten attempts, "Failed. Error:87" in the tree,
# message 114, the window stays open.
s_uninstall_remove() {
  install_family || return 1
  fix add-printqueue-device "$PRINTER" || { REASON="fixture add-printqueue-device failed"; return 1; }
  fix state >"$A/state-before.txt"
  awk -F'\t' -v n="$PRINTER" '$1 == "devnode" && $3 == n {f = 1} END {exit !f}' "$A/state-before.txt" ||
    { REASON="fixture: no device node named $PRINTER"; return 1; }
  capture || return 1
  bg prog 180 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe' -u 'C:\Korvane\'
  local prog=$BG
  wait_line "$UN_TITLE" "$(family_tree "" "" | tail -1)" 40 || return 1
  control 1 visible "$(res en dlg105.1)" || return 1
  control 2 visible "$(res en dlg105.2)" || return 1
  control 1002 visible "$(res en dlg105.1002)" || return 1
  shot "$UN_TITLE" uninstall-before
  click 1 || return 1
  # While the removal runs both buttons are disabled.
  dump "$UN_TITLE"
  grep -qE $'^control\t1\tButton\tvisible\tdisabled' "$T/win.txt" ||
    note "Remove was not seen disabled (the removal may have been quicker than the dump)"
  # Ten driver deletions one second apart, then message 114 with the
  # system's default caption.
  wait_text Error -1 "$(res en 114)" 60 || return 1
  shot "$UN_TITLE" uninstall-failed-message
  dump "$UN_TITLE"
  tree_of_dump >"$A/tree-after.txt"
  family_tree "$(fmt "$(res en 113 | sed 's/%d/87/')")" "$(res en 112)" >"$A/tree.expected"
  same "$A/tree-after.txt" "$A/tree.expected" "tree after Remove" || return 1
  key_in Error Return || return 1
  wait_gone Error 10 || return 1
  dump "$UN_TITLE"
  control 1 visible || return 1
  grep -qE $'^control\t1\tButton\tvisible\tenabled' "$T/win.txt" || { REASON="Remove not enabled again"; return 1; }
  shot "$UN_TITLE" uninstall-after
  fix state >"$A/state.txt"
  has_not "$A/state.txt" $'queue\t' "queue after Remove" || return 1
  has_not "$A/state.txt" $'devnode\t' "print queue device node after Remove" || return 1
  has "$A/state.txt" $'driver\t'"$PRINTER"$'\tC:\\windows\\system32\\spool\\drivers\\x64\\3\\korvdrv6ui.dll\t' \
    "driver kept (Wine refuses its deletion)" || return 1
  # The installer folder stays: the run had a failure.
  [[ -d "$T/pfx/drive_c/Korvane" ]] || { REASON="installer folder removed after a failed run"; return 1; }
  dump "$UN_TITLE"
  click 2 || return 1
  bg_wait "$prog" 20
  local rc=$?
  ((rc == 0)) || { REASON="exit code $rc after Close"; return 1; }
  predict "$T/pfx/drive_c/korvtest/trace.txt" '-u C:\Korvane\' \
    '{"presses": [{"at": 1000, "dialog": 105, "control": 1}, {"at": 40000, "dialog": 105, "control": 2}]}'
}

# A driver package recorded by the spooler but no family driver: Remove
# calls DeletePrinterDriverPackageW, which Wine does not export at all. The
# program resolves it at run time and takes the missing export as the call
# failing (E_NOTIMPL) instead of ending.
s_uninstall_package() {
  local key='korvv6.inf_amd64_5a1c3e0d2b4f6789'
  local store="C:\\windows\\System32\\DriverStore\\FileRepository\\$key"
  mkdir -p "$T/pfx/drive_c/windows/system32/DriverStore/FileRepository/$key"
  cp "$BUILD/wine-installer/korvv6.inf" "$T/pfx/drive_c/windows/system32/DriverStore/FileRepository/$key/"
  fix add-package-record 'Windows x64' "$key" "$store\\korvv6.inf" ||
    { REASON="fixture add-package-record failed"; return 1; }
  capture || return 1
  bg prog 120 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe' -u 'C:\Korvane\'
  local prog=$BG
  # The version stays empty: Wine's SetupQueryInfVersionInformationW is a
  # stub that returns nothing (on Windows it is the INF's DriverVer,
  # "04/07/2026,2026.4.7.6"); the program shows the line all the same.
  local package_line
  package_line=$(fmt "$(res en 106)" korvv6.inf '' "$store\\korvv6.inf" "")
  wait_line "$UN_TITLE" "$(printf 'item\t0\t-\t%s' "$package_line")" 40 || return 1
  shot "$UN_TITLE" uninstall-package-before
  click 1 || return 1
  wait_text Error -1 "$(res en 114)" 30 || return 1
  dump "$UN_TITLE"
  local failed
  failed=$(fmt "$(res en 106)" korvv6.inf '' "$store\\korvv6.inf" \
    "$(res en 113 | sed 's/%d/-2147467263/')")
  has "$T/win.txt" "$(printf 'item\t0\t-\t%s' "$failed")" "package status E_NOTIMPL" || return 1
  shot "$UN_TITLE" uninstall-package-failed
  key_in Error Return || return 1
  wait_gone Error 10 || return 1
  # Still running: the missing export did not end the process.
  kill -0 "$prog" 2>/dev/null || { REASON="the program ended after the package deletion"; return 1; }
  dump "$UN_TITLE"
  click 2 || return 1
  bg_wait "$prog" 20 || { REASON="no clean exit after Close"; return 1; }
  predict "$T/pfx/drive_c/korvtest/trace.txt" '-u C:\Korvane\' \
    '{"presses": [{"at": 1000, "dialog": 105, "control": 1}, {"at": 20000, "dialog": 105, "control": 2}]}'
}

# Nothing of the family installed: the tree says so, and Remove finishes at
# once: the spooler is stopped and started around the monitor file, the
# shell is asked to recycle C:\Korvane\ (it asks for confirmation), text 115
# is shown and the window closes with exit code 0.
s_uninstall_finish() {
  # Started as the uninstaller copy, so that the window runs from the
  # temporary folder and not from the folder it recycles.
  wrun 60 'C:\Korvane\unins000.exe' >"$T/start.out" 2>"$T/start.err" ||
    { REASON="unins000.exe: exit code $?"; return 1; }
  wait_line "$UN_TITLE" "$(printf 'item\t0\t-\t%s' "$(res en 105)")" 40 || return 1
  shot "$UN_TITLE" uninstall-empty
  fix procs >"$A/procs.txt"
  local pid
  pid=$(awk -F'\t' '$3 ~ /^uni[0-9a-fA-F]+\.tmp$/ {print $2; exit}' "$A/procs.txt")
  [[ -n "$pid" ]] || { REASON="no temporary copy running"; return 1; }
  local spooler
  spooler=$(awk -F'\t' '$3 == "spoolsv.exe" {print $2}' "$A/procs.txt")
  [[ -n "$spooler" ]] || { REASON="the program did not start the spooler"; return 1; }
  click 1 || return 1
  # Wine's shell confirms the move to its recycle bin (the program passes no
  # flag that would suppress it, so Windows asks too).
  local confirm="Confirm folder deletion"
  wait_window "$confirm" 40 || return 1
  shot "$confirm" uninstall-recycle-confirm
  key_in "$confirm" Return || return 1
  local msg
  msg=$(res en 102)
  wait_text "$msg" -1 "$(res en 115)" 30 || return 1
  shot "$UN_TITLE" uninstall-finished
  key_in "$msg" Return || return 1
  wait_gone "$UN_TITLE" 20 || return 1
  # The monitor file was deleted with the spooler stopped: it runs again,
  # as a new process.
  fix procs >"$A/procs-after.txt"
  local again
  again=$(awk -F'\t' '$3 == "spoolsv.exe" {print $2}' "$A/procs-after.txt")
  [[ -n "$again" && "$again" != "$spooler" ]] ||
    { REASON="spooler not stopped and started (process $spooler before, '$again' after)"; return 1; }
  fix state >"$A/state.txt"
  # Wine's recycle bin names the entry after the text behind the last
  # backslash; InstallDir ends with one, so the name is empty, Wine fails to
  # write the entry and the folder stays. The program does not examine the
  # result (neither would it on Windows if the user said No), so it goes on
  # exactly as it should. On Windows the folder goes to the Recycle Bin.
  if [[ -d "$T/pfx/drive_c/Korvane" ]]; then
    note "C:\\Korvane stays under Wine (its recycle bin cannot take a path ending in a backslash)"
  fi
  return 0
}

# The windows in seven languages. Wine takes the user interface language
# from LC_MESSAGES; this machine has no such glibc locales, so they are
# built for the run with localedef (in the background, while the prefix is
# made).
make_locales() {
  mkdir -p "$WORK/locale"
  local l
  for l in de_DE es_ES fr_FR it_IT ar_SA zh_CN; do
    localedef -i "$l" -f UTF-8 "$WORK/locale/$l.UTF-8" >"$WORK/locale/$l.log" 2>&1 || return 1
  done
}

# The message box of a failed removal in Arabic (Wine refuses to delete the
# driver, as in uninstall-remove): text 114 in Arabic, over the mirrored
# uninstall window. Its caption is the system's default one in Arabic, so
# the box is found by its text.
arabic_removal_message() {
  install_family || return 1
  local un_title msg box
  un_title=$(res ar dlg105)
  msg=$(res ar 114)
  BGENV=(LOCPATH="$WORK/locale" LC_ALL=ar_SA.UTF-8 LANG=ar_SA.UTF-8)
  bg un-ar-remove 180 'C:\Korvane\korvsetup.exe' -u 'C:\Korvane\'
  BGENV=()
  local prog=$BG
  wait_line "$un_title" "$(printf 'item\t2\t-\t%s' "$(fmt "$(res ar 110)" "$PRINTER" USB001 "")")" 40 || return 1
  click 1 || return 1
  local end=$((SECONDS + 60))
  while :; do
    fix windows >"$T/all.txt" 2>/dev/null
    box=$(awk -F'\t' -v m="$msg" '$1 == "window" {t = $2} $1 == "control" && $7 == m {print t; exit}' "$T/all.txt")
    [[ -n "$box" ]] && break
    ((SECONDS < end)) || { REASON="no message box with text 114 (see $CUR/last-windows.txt)"; cp "$T/all.txt" "$A/last-windows.txt"; return 1; }
    sleep 0.5
  done
  shot "$un_title" uninstall-ar-failed-message
  cp "$T/all.txt" "$A/uninstall-ar-failed-message.all-windows.txt"
  key_in "$box" Return || return 1
  wait_gone "$box" 10 || return 1
  dump "$un_title"
  click 2 || return 1
  bg_wait "$prog" 20 || { REASON="uninstall window did not end"; return 1; }
}

s_languages() {
  if [[ -n "$LOCALE_PID" ]]; then
    wait "$LOCALE_PID"
    LOCALE_RC=$?
    LOCALE_PID=""
  fi
  ((${LOCALE_RC:-1} == 0)) || { REASON="localedef failed (Debian package 'locales' installed? see the scratch folder's locale/*.log)"; return 2; }
  local lang loc
  for lang in en de es fr it ar zh-Hans; do
    case $lang in
      en) loc=C ;;
      de) loc=de_DE.UTF-8 ;;
      es) loc=es_ES.UTF-8 ;;
      fr) loc=fr_FR.UTF-8 ;;
      it) loc=it_IT.UTF-8 ;;
      ar) loc=ar_SA.UTF-8 ;;
      zh-Hans) loc=zh_CN.UTF-8 ;;
    esac
    local title un_title
    title=$(res "$lang" dlg106)
    un_title=$(res "$lang" dlg105)
    # The worker loads text 101 into 260 units: longer translations are cut.
    local t101
    t101=$(cut_units 259 "$(res "$lang" 101)")
    BGENV=(LOCPATH="$WORK/locale" LC_ALL="$loc" LANG="$loc")
    bg "prog-$lang" 120 'C:\Korvane\korvsetup.exe'
    local prog=$BG
    wait_text "$title" 1006 "$t101" 40 || { REASON="$lang: $REASON"; return 1; }
    control 3 visible "$(res "$lang" dlg106.3)" || { REASON="$lang: $REASON"; return 1; }
    control 2 visible "$(res "$lang" dlg106.2)" || { REASON="$lang: $REASON"; return 1; }
    local mirrored=0
    [[ $lang == ar ]] && mirrored=1
    window_look "$mirrored" 2 || { REASON="$lang: $REASON"; return 1; }
    shot "$title" "installer-$lang"
    click 2 || return 1
    bg_wait "$prog" 20 || { REASON="$lang: installer did not end"; return 1; }

    bg "un-$lang" 120 'C:\Korvane\korvsetup.exe' -u 'C:\Korvane\'
    prog=$BG
    BGENV=()
    wait_line "$un_title" "$(printf 'item\t0\t-\t%s' "$(res "$lang" 105)")" 40 ||
      { REASON="$lang: $REASON"; fix windows >"$A/last-windows-$lang.txt"; return 1; }
    control 1 visible "$(res "$lang" dlg105.1)" || { REASON="$lang: $REASON"; return 1; }
    control 2 visible "$(res "$lang" dlg105.2)" || { REASON="$lang: $REASON"; return 1; }
    control 1002 visible "$(res "$lang" dlg105.1002)" || { REASON="$lang: $REASON"; return 1; }
    window_look "$mirrored" 2 || { REASON="$lang: $REASON"; return 1; }
    shot "$un_title" "uninstall-$lang"
    click 2 || return 1
    bg_wait "$prog" 20 || { REASON="$lang: uninstall window did not end"; return 1; }
  done
  arabic_removal_message || { REASON="ar: $REASON"; return 1; }
  if ! fc-list : family 2>/dev/null | grep -i 'wenquanyi' >/dev/null; then
    note "no CJK font (fonts-wqy-microhei): the Chinese screenshots show boxes; the texts were checked"
  fi
}

# The progress bar shows the worker's positions: 40 while a printer is
# being installed, 100 at "Done". The port is unknown to the spooler, so the
# installation ends with a spooler restart (as in missing-port), which holds
# the bar at 40 for a few seconds.
s_installer_progress() {
  fix plug-usb 'VID_2D37&PID_0001\SER001' KorvaneKV-T100B 1 >/dev/null ||
    { REASON="fixture plug-usb failed"; return 1; }
  bg prog 180 'C:\Korvane\korvsetup.exe'
  local prog=$BG found
  found=$(fmt "$(res en 117)" "$PRINTER" USB001)
  wait_text "$EN_TITLE" 1006 "$found" 60 || return 1
  # The position is posted before the status is set; give the window a
  # moment to take it, while the installation still runs.
  local end=$((SECONDS + 10))
  until control 1003 visible pos=40 && control 1006 visible "$found"; do
    ((SECONDS < end)) || { REASON="progress during the installation: $REASON"; return 1; }
    sleep 0.3
    dump "$EN_TITLE"
  done
  shot "$EN_TITLE" installer-progress-40
  wait_text "$EN_TITLE" 2 "$(res en 118)" 90 || return 1
  control 1003 visible pos=100 || return 1
  shot "$EN_TITLE" installer-progress-100
  click 2 || return 1
  bg_wait "$prog" 20 || { REASON="no clean exit after Done"; return 1; }
}

# The installer window at 150 % (144 DPI): the dialog manager makes the
# dialog and its frames half as large again, and the program shows both
# pictures resampled to match (67 -> 101 pixels, 490x122 -> 735x183).
s_installer_144dpi() {
  wrun 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 &&
    wrun 60 reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 || { REASON="cannot set the screen scale"; return 1; }
  # Processes started from now on read the new scale.
  timeout 60 "$WINESERVER" -w || timeout 30 "$WINESERVER" -k
  bg prog 120 'C:\Korvane\korvsetup.exe'
  local prog=$BG
  wait_text "$EN_TITLE" 1006 "$(res en 101)" 40 || return 1
  control 1007 visible '#113' || return 1
  size_of -1 101 101 || return 1
  size_of 1007 735 183 || return 1
  window_look 0 2 || return 1
  shot "$EN_TITLE" installer-144dpi
  click 2 || return 1
  bg_wait "$prog" 20 || { REASON="installer did not end"; return 1; }
}

# No USB001 in the spooler's ports: Wine's AddPrinterW adds the queue onto
# the unknown port all the same (Windows refuses with ERROR_UNKNOWN_PORT and
# the queue comes from the spooler once it knows the port). The program
# then finds the port missing from the spooler's list and restarts the
# spooler, as it does on Windows, and reports the printer installed.
s_missing_port() {
  fix plug-usb 'VID_2D37&PID_0001\SER001' KorvaneKV-T100B 1 >/dev/null ||
    { REASON="fixture plug-usb failed"; return 1; }
  wrun 60 net start spooler >"$T/net.out" 2>&1
  capture || return 1
  fix procs >"$A/procs-before.txt"
  local before after
  before=$(awk -F'\t' '$3 == "spoolsv.exe" {print $2}' "$A/procs-before.txt")
  [[ -n "$before" ]] || { REASON="the spooler did not start before the run"; return 1; }
  local start=$SECONDS
  wrun 180 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe' /silence \
    >"$T/prog.out" 2>"$T/prog.err"
  local rc=$? took=$((SECONDS - start))
  cp "$T/pfx/drive_c/korvtest/trace.txt" "$A/trace.txt" 2>/dev/null
  ((rc == 0)) || { REASON="exit code $rc"; return 1; }
  plain_trace "$A/trace.txt" >"$A/trace.lines"
  expected_install_trace >"$A/trace.expected"
  same "$A/trace.lines" "$A/trace.expected" "recorded trace" || return 1
  fix state >"$A/state.txt"
  has "$A/state.txt" $'queue\t'"$PRINTER"$'\tUSB001\t'"$PRINTER" "queue on the unknown port" || return 1
  has_not "$A/state.txt" $'port\tUSB001' "port USB001" || return 1
  # The restart: a new spooler process, and at least the 3 s pause
  # between its stop and its start.
  fix procs >"$A/procs-after.txt"
  after=$(awk -F'\t' '$3 == "spoolsv.exe" {print $2}' "$A/procs-after.txt")
  [[ -n "$after" && "$after" != "$before" ]] ||
    { REASON="spooler not restarted (process $before before, '${after}' after)"; return 1; }
  ((took >= 3)) || { REASON="the run took ${took}s, too short for a spooler restart"; return 1; }
  predict "$A/trace.txt" /silence
}

# Cancel while the worker has the spooler stopped for its restart (the port
# is missing after the queue was added, as in missing-port): the window
# closes at once, and the program starts the spooler again before it ends.
s_cancel_restart() {
  fix plug-usb 'VID_2D37&PID_0001\SER001' KorvaneKV-T100B 1 >/dev/null ||
    { REASON="fixture plug-usb failed"; return 1; }
  wrun 60 net start spooler >"$T/net.out" 2>&1
  bg prog 180 'C:\korvtest\dbgrun.exe' 'C:\korvtest\trace.txt' 'C:\Korvane\korvsetup.exe'
  local prog=$BG trace="$T/pfx/drive_c/korvtest/trace.txt" i
  # The data file's copy is the last trace line; registration, the queue
  # and the restart follow.
  for ((i = 0; i < 450; i++)); do
    grep -q 'korvdrv6\.dat, 1' "$trace" 2>/dev/null && break
    sleep 0.2
  done
  grep -q 'korvdrv6\.dat, 1' "$trace" 2>/dev/null || { REASON="the staging never ended"; return 1; }
  # Cancel in the 3-second pause, once the spooler's process is gone.
  dump "$EN_TITLE"
  for ((i = 0; i < 20; i++)); do
    fix procs >"$A/procs-stopped.txt"
    [[ -z "$(spooler_pid "$A/procs-stopped.txt")" ]] && break
    sleep 0.2
  done
  [[ -z "$(spooler_pid "$A/procs-stopped.txt")" ]] || { REASON="the spooler was never seen stopped"; return 1; }
  click 2 || return 1
  bg_wait "$prog" 30
  local rc=$?
  ((rc == 0)) || { REASON="exit code $rc after Cancel"; return 1; }
  fix procs >"$A/procs-after.txt"
  [[ -n "$(spooler_pid "$A/procs-after.txt")" ]] ||
    { REASON="the spooler is stopped after the program ended"; return 1; }
}

spooler_pid() { awk -F'\t' '$3 == "spoolsv.exe" {print $2}' "$1"; }

# The calls where this Wine differs from Windows, made directly by korvfix
# on a driver and queue of its own. The scenarios above show how the
# program copes; this one keeps the list in the README true: when a Wine
# update changes an answer, it fails and says which. Columns: the call, its
# result, its last error (not compared after a BOOL success, where it is
# whatever an earlier call left).
s_wine_differences() {
  fix probe 'C:\Korvane\' >"$A/probe.txt" || { REASON="korvfix probe failed"; return 1; }
  awk -F'\t' -v OFS='\t' '$2 == "1" {$3 = "-"} {print}' "$A/probe.txt" >"$A/probe.lines"
  cat >"$A/probe.expected" <<'EOF'
UploadPrinterDriverPackageW	-2147467263	0
DeletePrinterDriverPackageW	missing	0
CM_Locate_DevNodeW	19	0
CM_Reenumerate_DevNode	19	0
AddPrinterDriverW-level8	1	-
level8-dwlDriverVersion	0	0
level8-ftDriverDate	0	0
level8-pszInfPath-set	0	0
level8-pszMfgName-set	0	0
level8-pszProvider-set	0	0
AddPrinterW-unknown-port	1	-
SetPrinterW-purge	0	124
DeletePrinter	1	-
DeletePrinterDriverExW-unused-files	0	87
DeletePrinterDriverExW-no-flags	1	-
SetupQueryInfVersionInformationW-DriverVer	0	120
EOF
  same "$A/probe.lines" "$A/probe.expected" "Wine's answers" || return 1
}

# Wine's CommandLineToArgvW still splits the test lines as recorded in
# argv_expected.txt, which the simulated splitter is compared with in
# tests/platform/argv_wine_test.cpp.
s_argv() {
  cp "$HERE/argv_lines.txt" "$T/pfx/drive_c/korvtest/argv_lines.txt"
  fix argv 'C:\korvtest\argv_lines.txt' >"$A/argv.txt" || { REASON="korvfix argv failed"; return 1; }
  same "$A/argv.txt" "$HERE/argv_expected.txt" "Wine's splitting" || return 1
}

# The silent installation under Wine against the simulated run of the same
# machine: tests/wine/silent-install.json states what the Wine prefix holds
# (its folders, driver directory and ports, the printer on USB port 1, the
# runtime already in place) and Wine's differences as facts of that machine
# (the upload answers E_NOTIMPL), so every trace line must agree; only the
# virtual time korvsim puts before each line is left out. The queue and the
# family's files the two runs leave must agree too.
s_trace_vs_sim() {
  local sim=${KORV_SIM:-}
  if [[ -z "$sim" ]]; then
    for sim in "$ROOT/build/linux/tools/korvsim/korvsim" "$ROOT/build/linux/korvsim" ""; do
      [[ -z "$sim" || -x "$sim" ]] && break
    done
  fi
  [[ -n "$sim" && -x "$sim" ]] || { REASON="korvsim not built (linux preset)"; return 2; }
  ((SILENT_OK)) || { REASON="needs a passing silent-install in the same run"; return 2; }
  "$sim" "$HERE/silent-install.json" >"$A/korvsim.txt" 2>"$A/korvsim.err" ||
    { REASON="korvsim failed (see $CUR/korvsim.err)"; return 1; }
  # Process 1's debugger output, without the time stamps.
  awk '/^process 1:/ {p = 1; next} /^process / {p = 0}
       p && /^  debugger output:/ {d = 1; next} p && /^  [a-z]/ {d = 0}
       d && /^    \[/ {sub(/^    \[ *[0-9]+ ms\] /, ""); print}' "$A/korvsim.txt" >"$A/sim-trace.lines"
  [[ -s "$A/sim-trace.lines" ]] || { REASON="korvsim printed no debugger output (see $CUR/korvsim.txt)"; return 1; }
  same "$ART/silent-install/trace.lines" "$A/sim-trace.lines" "Wine's recorded trace against korvsim's" || return 1
  # What both runs leave: the queue, and the family's files in the driver
  # directory (Wine's spooler copies the registered files into its "3"
  # folder as Windows does; the simulation models that too).
  awk '/^  print queues:/ {q = 1; next} /^  [a-z]/ {q = 0}
       q {line = $0; sub(/^ +/, "", line); print line}' "$A/korvsim.txt" >"$A/sim-queues.txt"
  awk -F'\t' '$1 == "queue" {printf "\"%s\" on %s, driver \"%s\"\n", $2, $3, $4}' \
    "$ART/silent-install/state.txt" >"$A/wine-queues.txt"
  same "$A/wine-queues.txt" "$A/sim-queues.txt" "queues after the installation" || return 1
  awk '/^  files added:/ {f = 1; next} /^  [a-z]/ {f = 0}
       f && /korv/ {line = $0; sub(/^ +/, "", line); print line}' "$A/korvsim.txt" | sort >"$A/sim-files.txt"
  awk -F'\t' '$1 == "file" && $2 ~ /korv/ {print $2}' "$ART/silent-install/state.txt" | sort >"$A/wine-files.txt"
  same "$A/wine-files.txt" "$A/sim-files.txt" "the family's files after the installation" || return 1
}

# ---------------------------------------------------------------- predictions
#
# "Before you deploy" (README.md) under Wine: korvsnap.exe captures a
# scenario's prefix just before the real program runs there (capture); when
# the run is over, korvsim runs the same command line, with the same button
# presses, on that capture plus Wine's differences (wine-machine.json), and
# its debugger trace and final spooler state must equal the real run's
# (predict). The run ends with "N machines captured, N predictions equal to
# the real run".
CAPTURED=0 PREDICTED=0

capture() {
  cp "$BUILD/korvsnap.exe" "$T/pfx/drive_c/korvtest/" &&
    wrun 60 'C:\korvtest\korvsnap.exe' 'C:\Korvane\' -o 'C:\korvtest\capture.json' >"$T/snap.out" 2>"$T/snap.err" &&
    cp "$T/pfx/drive_c/korvtest/capture.json" "$A/capture.json" ||
    { REASON="korvsnap.exe failed (see $CUR/snap.err)"; return 1; }
  CAPTURED=$((CAPTURED + 1))
}

# The spooler state both runs are compared on: queues, drivers, package
# records and the family's files, from korvfix state (stdin) or korvsim's
# --state file (predicted_spooler FILE).
real_spooler() {
  awk -F'\t' -v OFS='\t' '$1 == "queue" || $1 == "package" {print $1, $2, $3, $4} $1 == "driver" {print $1, $2}
    $1 == "file" && tolower($2) ~ /korv|vcomp140/ {print $1, $2}' | sort
}
predicted_spooler() {
  jq -r '.spooler.driverDirectory as $d | .kernel.systemFolder as $s |
    (.spooler.queues[] | ["queue", .pPrinterName, .pPortName, .pDriverName]),
    (.spooler.drivers[] | ["driver", .pName]),
    (.registry[] | (.key | capture("PackageInstallation\\\\(?<env>[^\\\\]+)\\\\DriverPackages\\\\(?<name>[^\\\\]+)$")) as $p
      | ["package", $p.env, $p.name, (.values[] | select(.name == "DriverStorePath") | .data[0])]),
    (.kernel.files[].path | select(test("korv|vcomp140"; "i")) | select(
      (startswith($d + "\\") and (ltrimstr($d + "\\") | test("^(3\\\\)?[^\\\\]+$"))) or
      . == $s + "\\korvmon.dll" or . == $s + "\\vcomp140.dll") | ["file", .])
    | join("\t")' "$1" | sort
}

# predict TRACE COMMANDLINE [UI]: TRACE is the real run's recorded trace
# (dbgrun's file), UI korvsim's "ui" for the presses the scenario made.
predict() {
  local sim=${KORV_SIM:-$ROOT/build/linux/tools/korvsim/korvsim}
  [[ -x "$sim" ]] || { note "no prediction: korvsim (linux preset) not built"; return 0; }
  jq --arg c "$2" --argjson ui "${3:-{\}}" -s '.[0] * .[1] | .commandLine = $c | .ui = $ui | .timeLimitMs = 120000' \
    "$A/capture.json" "$HERE/wine-machine.json" >"$A/prediction.json" || { REASON="jq failed"; return 1; }
  "$sim" --state "$A/predicted-state.json" "$A/prediction.json" >"$A/prediction.txt" 2>&1 ||
    { REASON="korvsim refused the capture: $(head -1 "$A/prediction.txt")"; return 1; }
  awk '/^process 1:/ {p = 1; next} /^process / {p = 0}
       p && /^  debugger output:/ {d = 1; next} p && /^  [a-z]/ {d = 0}
       d && /^    \[/ {sub(/^    \[ *[0-9]+ ms\] /, ""); print}' "$A/prediction.txt" >"$A/predicted-trace.lines"
  if [[ -f "$1" ]]; then plain_trace "$1"; fi >"$A/real-trace.lines"
  same "$A/real-trace.lines" "$A/predicted-trace.lines" "korvsim's predicted trace" || return 1
  fix state | real_spooler >"$A/real-spooler.txt"
  predicted_spooler "$A/predicted-state.json" >"$A/predicted-spooler.txt"
  same "$A/real-spooler.txt" "$A/predicted-spooler.txt" "korvsim's predicted spooler state" || return 1
  PREDICTED=$((PREDICTED + 1))
}

# ---------------------------------------------------------------- driver

ALL_SCENARIOS=(installer-no-printer installer-progress installer-144dpi silent-install window-install missing-port
  cancel-restart second-instance handoff uninstall-remove uninstall-package uninstall-finish languages argv
  wine-differences trace-vs-sim)

# Scenarios that run without a prefix of their own.
needs_prefix() { [[ $1 != trace-vs-sim ]]; }

result() { # STATUS NAME [REASON]
  case $1 in
    PASS) PASSED=$((PASSED + 1)); echo "PASS $2${3:+ ($3)}" ;;
    FAIL) FAILED=$((FAILED + 1)); echo "FAIL $2: $3" ;;
    SKIP) SKIPPED=$((SKIPPED + 1)); echo "SKIP $2: $3" ;;
  esac
}

run_scenario() {
  CUR=$1
  A=$ART/$CUR
  T=$WORK/$CUR
  rm -rf "$A"
  mkdir -p "$A" "$T"
  REASON=""
  local fn=s_${CUR//-/_} rc
  if needs_prefix "$CUR"; then
    new_prefix || { result FAIL "$CUR" "cannot copy the prefix"; return; }
  fi
  local started=$SECONDS
  "$fn"
  rc=$?
  if ((rc == 1)); then
    "$IMPORT" -window root "$A/failure-screen.png" 2>/dev/null
    fix windows >"$A/failure-windows.txt" 2>/dev/null
  fi
  # Logs of the programs started, beside the artifacts.
  cp "$T"/*.out "$T"/*.err "$A/" 2>/dev/null
  [[ -f "$T/pfx/drive_c/korvtest/trace.txt" && ! -f "$A/trace.txt" ]] && cp "$T/pfx/drive_c/korvtest/trace.txt" "$A/"
  if needs_prefix "$CUR"; then end_wineserver; fi
  unset WINEPREFIX
  case $rc in
    0) result PASS "$CUR" "$((SECONDS - started))s" ;;
    2) result SKIP "$CUR" "$REASON" ;;
    *) result FAIL "$CUR" "${REASON:-failed} [$((SECONDS - started))s]" ;;
  esac
  if needs_prefix "$CUR" && [[ "${KORV_WINE_KEEP:-}" != 1 ]]; then rm -rf "$T/pfx"; fi
}

main() {
  local wanted=("$@")
  ((${#wanted[@]})) || wanted=("${ALL_SCENARIOS[@]}")
  mkdir -p "$ART"
  local s
  for s in "${wanted[@]}"; do
    declare -F "s_${s//-/_}" >/dev/null || { echo "unknown scenario: $s" >&2; exit 2; }
  done

  local missing=()
  [[ -x "$WINE" ]] || missing+=("$WINE (Debian package wine64)")
  command -v Xvfb >/dev/null || missing+=("Xvfb (xvfb)")
  command -v xdotool >/dev/null || missing+=("xdotool")
  command -v xprop >/dev/null || missing+=("xprop (x11-utils)")
  command -v convert >/dev/null || missing+=("convert (imagemagick)")
  [[ -x "$IMPORT" ]] || missing+=("$IMPORT (imagemagick)")
  local f
  for f in korvsetup.exe dbgrun.exe korvfix.exe korvsnap.exe wine-installer/korvv6.inf; do
    [[ -e "$BUILD/$f" ]] || missing+=("$BUILD/$f (build the win64 preset)")
  done
  if ((${#missing[@]})); then
    for s in "${wanted[@]}"; do result SKIP "$s" "missing: ${missing[*]}"; done
    echo "$PASSED passed, $FAILED failed"
    # Missing tools on a machine that should have them is a failure in CI.
    [[ "${CI:-}" == true ]] && exit 1
    exit 0
  fi

  start_xvfb || { echo "Xvfb did not start" >&2; echo "0 passed, 1 failed"; exit 1; }
  if [[ " ${wanted[*]} " == *" languages "* ]]; then
    make_locales &
    LOCALE_PID=$!
  fi
  make_base_prefix || {
    echo "FAIL prefix: wineboot -i did not make a prefix (see $WORK/wineboot.log)"
    cp "$WORK/wineboot.log" "$ART/" 2>/dev/null
    echo "0 passed, 1 failed"
    exit 1
  }
  for s in "${wanted[@]}"; do run_scenario "$s"; done
  ((SKIPPED)) && echo "$SKIPPED skipped"
  ((CAPTURED)) && echo "$CAPTURED machines captured, $PREDICTED predictions equal to the real run"
  echo "$PASSED passed, $FAILED failed"
  ((FAILED == 0))
}

main "$@"
