#!/usr/bin/env bash
# Checks the built Windows programs without running them; one "FAIL:" line per fault.
#   tests/windows/check_executables.sh [WIN32_EXE [WIN64_EXE]]  (default build/win32|win64/korvsetup.exe; the
#   korvsnap.exe beside each is checked as a console program, without budget)
# Why: it runs elevated (ASLR, DEP); its elevated uninstaller runs from the temporary folder, so it imports only
# DLLs the loader takes from the system folder; some Windows and Wine lack a few calls; non-ASCII paths need the
# Unicode start and W calls; the manifest asks for administrator rights and common controls 6.
set -euo pipefail
cd "$(dirname "$0")/../.."
known=" advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf msvcrt normaliz
nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32 "
unicode=" user32 shell32 advapi32 setupapi winspool.drv "
forbidden=" UploadPrinterDriverPackageW DeletePrinterDriverPackageW SetDefaultDllDirectories "
OBJDUMP=$(command -v x86_64-w64-mingw32-objdump || command -v objdump) || { echo "no PE objdump" >&2; exit 2; }

# check_exe PATH pe32|pe32+ [BUDGET_KIB] [gui|console]
check_exe() {
  local exe=$1 kind=$2 budget=${3:-} sub=${4:-gui} faults=0 dump got imports dll name flag
  dump=$("$OBJDUMP" -p "$exe" 2>/dev/null) || { echo "FAIL: $exe: missing or not a PE file"; return 1; }
  fail() { echo "FAIL: $exe: $*"; faults=$((faults + 1)); }
  local want="pei-i386 010b" flags="DYNAMIC_BASE NX_COMPAT"
  [[ $kind == pe32 ]] || want="pei-x86-64 020b" flags+=" HIGH_ENTROPY_VA"
  [[ $sub == gui ]] && want+=" 00000002" || want+=" 00000003"
  got=$(echo $(sed -n 's/.*file format //p' <<<"$dump" | head -1) $(awk '$1 ~ /^(Magic|Subsystem)$/ {print $2}' <<<"$dump"))
  [[ $got == "$want" ]] || fail "format, magic, subsystem '$got', expected '$want' ($sub)"
  for flag in $flags; do sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$dump" | grep -q "$flag" || fail "no $flag"; done
  imports=$(awk '/DLL Name:/ {dll = tolower($3); print dll, "-"; next}
                 dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $NF}' <<<"$dump")
  while read -r dll name; do
    [[ $name != - || $dll == api-ms-win-* || $known == *" ${dll%.dll} "* ]] || fail "imports $dll, not a known DLL of Windows"
    [[ $forbidden != *" $name "* ]] || fail "imports $name statically"
    [[ $unicode != *" ${dll%.dll} "* || ! $name =~ [a-z0-9]A$ ]] || fail "calls the ANSI entry point $name"
  done <<<"$imports"
  grep -q ' __wgetmainargs$' <<<"$imports" || fail "no Unicode C runtime start (__wgetmainargs)"
  [[ $sub != gui ]] || { grep -aq requireAdministrator "$exe" && grep -aq Windows.Common-Controls "$exe"; } ||
    fail "no manifest asking for administrator rights and common controls 6"
  local kib=$(($(stat -c %s "$exe") / 1024))
  [[ -z $budget ]] || ((kib <= budget)) || fail "$kib KiB, above its budget of $budget KiB"
  ((faults == 0)) && echo "$exe: $want, $kib KiB, imports $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$dump")"
}

w32=${1:-build/win32/korvsetup.exe} w64=${2:-build/win64/korvsetup.exe} status=0
check_exe "$w32" pe32 "${KORV_EXE_BUDGET_KIB:-512}" || status=1
check_exe "$w64" pe32+ || status=1
check_exe "$(dirname "$w32")/korvsnap.exe" pe32 "" console || status=1
check_exe "$(dirname "$w64")/korvsnap.exe" pe32+ "" console || status=1
((status == 0)) && echo "check_executables: both programs and both captures pass" || { echo "check_executables: FAILED"; exit 1; }
