#!/usr/bin/env bash
# Checks the built Windows programs without running them.
#
#   tests/windows/check_executables.sh [WIN32_EXE [WIN64_EXE]]
#   (defaults: build/win32/korvsetup.exe build/win64/korvsetup.exe; the
#   korvsnap.exe beside each is checked as a console program, without budget)
#
# Each program: PE32 (i386) or PE32+ (x86-64); GUI subsystem; ASLR and DEP
# (it runs elevated), high-entropy ASLR for 64 bits; the Unicode C runtime
# start (__wgetmainargs); imports only of the known DLLs, which the loader
# takes from the system folder only (the elevated uninstaller runs from the
# temporary folder: others are loaded at run time); no static import of calls
# some Windows or Wine lack; no ANSI entry points; the manifest (administrator,
# common controls 6); the 32-bit program within KORV_EXE_BUDGET_KIB (512).
set -euo pipefail
cd "$(dirname "$0")/../.."

known_dlls=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll
rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll "
unicode_dlls=" user32.dll shell32.dll advapi32.dll setupapi.dll winspool.drv "
forbidden_imports=" UploadPrinterDriverPackageW DeletePrinterDriverPackageW SetDefaultDllDirectories "
OBJDUMP=$(command -v x86_64-w64-mingw32-objdump || command -v objdump) ||
  { echo "check_executables: no objdump for PE files (binutils-mingw-w64)" >&2; exit 2; }

# check_exe PATH pe32|pe32+ [BUDGET_KIB] [gui|console]: one "FAIL:" line per fault.
check_exe() {
  local exe=$1 kind=$2 budget=${3:-} sub=${4:-gui} faults=0 dump
  dump=$("$OBJDUMP" -p "$exe" 2>/dev/null) || { echo "FAIL: $exe: missing or not a PE file"; return 1; }
  fail() { echo "FAIL: $exe: $*"; faults=$((faults + 1)); }
  local want=(pei-i386 010b) format magic subsystem chars imports dll
  [[ $kind == pe32+ ]] && want=(pei-x86-64 020b)
  format=$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$dump" | head -1)
  magic=$(awk '$1 == "Magic" {print $2; exit}' <<<"$dump")
  subsystem=$(awk '$1 == "Subsystem" {print $2; exit}' <<<"$dump")
  chars=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$dump")
  [[ $format == "${want[0]}" && $magic == "${want[1]}" ]] || fail "format $format/$magic, expected ${want[*]}"
  [[ $subsystem == $([[ $sub == gui ]] && echo 00000002 || echo 00000003) ]] || fail "subsystem '$subsystem', expected $sub"
  grep -q DYNAMIC_BASE <<<"$chars" || fail "no ASLR (DYNAMIC_BASE)"
  grep -q NX_COMPAT <<<"$chars" || fail "no DEP (NX_COMPAT)"
  [[ $kind == pe32 ]] || grep -q HIGH_ENTROPY_VA <<<"$chars" || fail "no high-entropy ASLR"
  imports=$(awk '/DLL Name:/ {dll = tolower($3); next} dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $NF}' <<<"$dump")
  for dll in $(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump"); do
    [[ $dll == api-ms-win-* || $known_dlls == *" $dll "* ]] || fail "imports $dll, not a known DLL of Windows"
  done
  while read -r dll name; do
    [[ $forbidden_imports != *" $name "* ]] || fail "imports $name statically"
    [[ $unicode_dlls != *" $dll "* || ! $name =~ [a-z0-9]A$ ]] || fail "calls the ANSI entry point $name"
  done <<<"$imports"
  grep -q ' __wgetmainargs$' <<<"$imports" || fail "no Unicode C runtime start (__wgetmainargs)"
  if [[ $sub == gui ]] && ! { grep -aq requireAdministrator "$exe" && grep -aq Microsoft.Windows.Common-Controls "$exe"; }; then
    fail "no manifest asking for administrator rights and common controls 6"
  fi
  local kib=$(($(stat -c %s "$exe") / 1024))
  [[ -z $budget ]] || ((kib <= budget)) || fail "$kib KiB, above its budget of $budget KiB"
  ((faults == 0)) && echo "$exe: ${want[0]}, $sub, $kib KiB, imports $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$dump")"
  ((faults == 0))
}

w32=${1:-build/win32/korvsetup.exe} w64=${2:-build/win64/korvsetup.exe} status=0
check_exe "$w32" pe32 "${KORV_EXE_BUDGET_KIB:-512}" || status=1
check_exe "$w64" pe32+ || status=1
check_exe "$(dirname "$w32")/korvsnap.exe" pe32 "" console || status=1
check_exe "$(dirname "$w64")/korvsnap.exe" pe32+ "" console || status=1
((status == 0)) && echo "check_executables: both programs and both captures pass" || { echo "check_executables: FAILED"; exit 1; }
