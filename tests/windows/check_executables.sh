#!/usr/bin/env bash
# Checks the built Windows programs without running them.
#
#   tests/windows/check_executables.sh [WIN32_EXE [WIN64_EXE]]
#
# defaults: build/win32/korvsetup.exe build/win64/korvsetup.exe
#
# korvsnap.exe, the machine capture built beside each program, is checked
# the same way as a console program (without the size budget).
#
# For each program:
#   - the header: WIN32_EXE is PE32 for Intel 80386, WIN64_EXE PE32+ for
#     x86-64, both for the Windows GUI subsystem, both with ASLR and DEP
#     (the program runs elevated), and the 64-bit one with high-entropy ASLR;
#   - the entry point is the Unicode one: the C runtime splits the command line
#     as UTF-16 (__wgetmainargs), not in the ANSI code page;
#   - every imported DLL is part of Windows (no libstdc++-6.dll,
#     libwinpthread-1.dll, libgcc_s_*.dll: the runtimes are linked in), and
#     is one of the system's known DLLs, which the loader takes from the
#     system folder only. Others (winspool.drv, cfgmgr32.dll, newdev.dll,
#     comctl32.dll, ...) would be looked for in the program's own folder
#     first, and the uninstaller runs elevated from the temporary folder:
#     the program loads those from the system folder at run time;
#   - calls that some Windows versions or Wine lack are not imported: a
#     missing import stops the program before its first line runs;
#   - the system DLLs the program uses are called through their UTF-16 (W)
#     entry points, never the ANSI (A) ones;
#   - the shipped 32-bit program stays within its size budget
#     (KORV_EXE_BUDGET_KIB, default 512).
# It prints the size of each program and the DLLs it imports.
#
# Before checking the real programs, the script proves that each check can
# fail: it builds small faulty programs with the same toolchain and expects
# the checker to reject each of them for the right reason.
set -euo pipefail
cd "$(dirname "$0")/../.."

budget_kib=${KORV_EXE_BUDGET_KIB:-512}

# The system's known DLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs on Windows 7 and later), lower case.
known_dlls="advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll
gdiplus.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll
oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll
user32.dll wldap32.dll ws2_32.dll"
# Other DLLs that ship with Windows.
other_system_dlls="winspool.drv cfgmgr32.dll newdev.dll comctl32.dll version.dll ucrtbase.dll
ntdll.dll userenv.dll crypt32.dll wintrust.dll bcrypt.dll uxtheme.dll dwmapi.dll winmm.dll"
# System DLLs whose W entry points the program must use.
unicode_dlls="user32.dll shell32.dll advapi32.dll setupapi.dll winspool.drv"
# Imports that must be resolved at run time.
forbidden_imports="UploadPrinterDriverPackageW DeletePrinterDriverPackageW SetDefaultDllDirectories"

objdump_tool() {
  local tool
  for tool in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump objdump; do
    if command -v "$tool" >/dev/null 2>&1; then
      echo "$tool"
      return
    fi
  done
  echo "check_executables: no objdump for PE files (install binutils-mingw-w64)" >&2
  exit 2
}
OBJDUMP=$(objdump_tool)

in_list() {  # word list
  local w
  for w in $2; do [[ "$w" == "$1" ]] && return 0; done
  return 1
}

# check_exe PATH KIND (pe32|pe32+) [BUDGET_KIB] [SUBSYSTEM (gui|console)]
# Prints one "FAIL: ..." line per fault and returns non-zero when there is
# any; prints the summary otherwise too.
check_exe() {
  local exe=$1 kind=$2 budget=${3:-} console=${4:-gui} faults=0
  if [[ ! -f "$exe" ]]; then
    echo "FAIL: $exe: missing (build the presets first)"
    return 1
  fi
  local dump
  if ! dump=$("$OBJDUMP" -p "$exe" 2>/dev/null); then
    echo "FAIL: $exe: not a PE file"
    return 1
  fi
  fail() { echo "FAIL: $exe: $*"; faults=$((faults + 1)); }

  local format magic subsystem dllchars want_format want_magic want_file
  format=$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$dump" | head -n1)
  magic=$(awk '$1 == "Magic" {print $2}' <<<"$dump" | head -n1)
  subsystem=$(awk '$1 == "Subsystem" {print $2}' <<<"$dump" | head -n1)
  dllchars=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$dump")
  if [[ $kind == pe32 ]]; then
    want_format=pei-i386 want_magic=010b want_file="PE32 executable (GUI) Intel 80386"
  else
    want_format=pei-x86-64 want_magic=020b want_file="PE32+ executable (GUI) x86-64"
  fi
  local want_subsystem=00000002 subsystem_name="Windows GUI"
  if [[ $console == console ]]; then
    want_subsystem=00000003 subsystem_name="Windows console"
    want_file=${want_file/(GUI)/(console)}
  fi
  [[ $format == "$want_format" ]] || fail "file format '$format', expected $want_format"
  [[ $magic == "$want_magic" ]] || fail "optional header magic '$magic', expected $want_magic"
  [[ $subsystem == "$want_subsystem" ]] || fail "subsystem '$subsystem', expected $want_subsystem ($subsystem_name)"
  if command -v file >/dev/null 2>&1; then
    local described
    described=$(file -b "$exe")
    [[ $described == "$want_file"* ]] || fail "file(1) says '$described', expected '$want_file'"
  fi
  grep -q DYNAMIC_BASE <<<"$dllchars" || fail "no ASLR (DYNAMIC_BASE)"
  grep -q NX_COMPAT <<<"$dllchars" || fail "no DEP (NX_COMPAT)"
  if [[ $kind == pe32+ ]]; then
    grep -q HIGH_ENTROPY_VA <<<"$dllchars" || fail "no high-entropy ASLR (HIGH_ENTROPY_VA)"
  fi

  # "DLL function" pairs of the import tables.
  local imports dlls
  imports=$(awk '/DLL Name:/ {dll = tolower($3); next}
                 dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $NF}' <<<"$dump")
  dlls=$(awk '/DLL Name:/ {print $3}' <<<"$dump")
  local dll lower
  for dll in $dlls; do
    lower=${dll,,}
    if [[ $lower == api-ms-win-* ]]; then
      continue  # API sets: resolved by the loader, never searched for
    elif in_list "$lower" "$known_dlls"; then
      continue
    elif in_list "$lower" "$other_system_dlls"; then
      fail "imports $lower, a system DLL that is not a known DLL: a copy in the program's folder" \
           "would be loaded instead; load it from the system folder at run time"
    else
      fail "imports $lower, which is not part of Windows"
    fi
  done
  local name
  for name in $forbidden_imports; do
    if awk -v n="$name" '$2 == n {found = 1} END {exit !found}' <<<"$imports"; then
      fail "imports $name statically; where the system lacks it the program cannot start"
    fi
  done
  local ansi
  ansi=$(awk -v dlls=" $unicode_dlls " 'index(dlls, " " $1 " ") && $2 ~ /[a-z0-9]A$/ {print $2}' <<<"$imports" |
         tr '\n' ' ')
  [[ -z $ansi ]] || fail "calls ANSI entry points: $ansi"
  if ! awk '$2 == "__wgetmainargs" {found = 1} END {exit !found}' <<<"$imports"; then
    fail "no Unicode C runtime start (__wgetmainargs): not built with -municode"
  fi

  local bytes
  bytes=$(stat -c %s "$exe")
  if [[ -n $budget ]] && ((bytes > budget * 1024)); then
    fail "$((bytes / 1024)) KiB, above its budget of $budget KiB"
  fi
  ((faults == 0)) || return 1
  local rsrc_hex rsrc=0
  rsrc_hex=$("$OBJDUMP" -h "$exe" | awk '$2 == ".rsrc" {print $3}')
  [[ -n $rsrc_hex ]] && rsrc=$((16#$rsrc_hex))
  printf '%s: %s, %d bytes (%d KiB' "$exe" "$want_file" "$bytes" $(((bytes + 1023) / 1024))
  ((rsrc != 0)) && printf ', of which resources %d KiB' $(((rsrc + 1023) / 1024))
  printf ')\n  imports: %s\n' "$(sort -f <<<"$dlls" | tr '\n' ' ' | sed 's/ $//')"
  return 0
}

# ---- the checks can fail -------------------------------------------------
self_test() {
  local cxx=x86_64-w64-mingw32-g++-win32
  if ! command -v $cxx >/dev/null 2>&1; then
    echo "self-test: skipped ($cxx not installed)"
    return 0
  fi
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  cat >"$dir/app.cpp" <<'EOF'
#include <windows.h>
#include <string>
#ifdef WITH_PACKAGE_CALL
#include <winspool.h>
#endif
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR line, int) {
  std::wstring text(line);
#ifdef WITH_PACKAGE_CALL
  DeletePrinterDriverPackageW(nullptr, text.c_str(), nullptr);
#endif
#ifdef WITH_ANSI_CALL
  MessageBoxA(nullptr, "x", "y", 0);
#endif
  return static_cast<int>(text.size());
}
EOF
  local hardening="-Wl,--dynamicbase,--nxcompat,--high-entropy-va"
  $cxx -municode -mwindows -static -Os -s $hardening "$dir/app.cpp" -o "$dir/good.exe"
  # One program with every fault: the C++ runtime as a DLL, the console
  # subsystem, no ASLR, a static import of a call Wine lacks (through the
  # DLL that is not a known one), an ANSI call.
  $cxx -mconsole -Os -s -Wl,--disable-dynamicbase,--disable-high-entropy-va,--nxcompat -D_WIN32_WINNT=0x0601 \
    -DWITH_PACKAGE_CALL -DWITH_ANSI_CALL "$dir/app.cpp" -o "$dir/faulty.exe" -municode -lwinspool
  local out failed=0 reason
  if ! out=$(check_exe "$dir/good.exe" pe32+); then
    echo "self-test: a sound program was rejected:"
    echo "$out"
    failed=1
  fi
  if out=$(check_exe "$dir/faulty.exe" pe32+); then
    echo "self-test: a faulty program was accepted"
    failed=1
  fi
  local reasons=(
    "libstdc++-6.dll, which is not part of Windows"
    "subsystem '00000003'"
    "no ASLR"
    "imports winspool.drv, a system DLL that is not a known DLL"
    "imports DeletePrinterDriverPackageW statically"
    "calls ANSI entry points: MessageBoxA"
  )
  for reason in "${reasons[@]}"; do
    if ! grep -qF "$reason" <<<"$out"; then
      echo "self-test: the faulty program was not rejected for: $reason"
      failed=1
    fi
  done
  if out=$(check_exe "$dir/good.exe" pe32+ 1) || ! grep -qF "above its budget of 1 KiB" <<<"$out"; then
    echo "self-test: a program above its budget was not rejected for its size"
    failed=1
  fi
  if out=$(check_exe "$dir/good.exe" pe32) || ! grep -qF "expected pei-i386" <<<"$out"; then
    echo "self-test: a 64-bit program was not rejected as the 32-bit one"
    failed=1
  fi
  if out=$(check_exe "$dir/good.exe" pe32+ "" console) || ! grep -qF "expected 00000003" <<<"$out"; then
    echo "self-test: a GUI program was not rejected as a console one"
    failed=1
  fi
  ((failed == 0)) || return 1
  echo "self-test: each check rejects its faulty program"
}

self_test

win32_exe=${1:-build/win32/korvsetup.exe}
win64_exe=${2:-build/win64/korvsetup.exe}
status=0
check_exe "$win32_exe" pe32 "$budget_kib" || status=1
check_exe "$win64_exe" pe32+ || status=1
check_exe "$(dirname "$win32_exe")/korvsnap.exe" pe32 "" console || status=1
check_exe "$(dirname "$win64_exe")/korvsnap.exe" pe32+ "" console || status=1
if ((status != 0)); then
  echo "check_executables: FAILED"
  exit 1
fi
echo "check_executables: both programs and both captures pass"
