/* Runs a program as its debuggee and records every debug string it sends,
 * one UTF-8 line each, into a file. Wine's own logging channels convert to
 * the ANSI code page and cut long strings, so they cannot be trusted for an
 * exact comparison with the simulated run.
 *
 * usage: dbgrun OUTFILE COMMANDLINE...
 * The rest of this program's own command line after OUTFILE is the child's
 * command line, passed on exactly as written. Exit code: the child's.
 * Line feeds and backslashes inside a string are written as \n and \\ so
 * that one debug string is always one line of the file.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static void write_utf8(FILE* out, const wchar_t* text, size_t len) {
  size_t i;
  for (i = 0; i < len; ++i) {
    wchar_t c = text[i];
    if (c == L'\\') { fputs("\\\\", out); continue; }
    if (c == L'\n') { fputs("\\n", out); continue; }
    if (c == L'\r') { fputs("\\r", out); continue; }
    if (c < 0x80) { fputc((int)c, out); continue; }
    {
      char buf[8];
      int n = WideCharToMultiByte(CP_UTF8, 0, &text[i], 1, buf, sizeof buf, NULL, NULL);
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < len) {
        n = WideCharToMultiByte(CP_UTF8, 0, &text[i], 2, buf, sizeof buf, NULL, NULL);
        ++i;
      }
      fwrite(buf, 1, (size_t)(n > 0 ? n : 0), out);
    }
  }
  fputc('\n', out);
  fflush(out);
}

/* Skips the program name and OUTFILE in this program's own command line. */
static const wchar_t* skip_args(const wchar_t* line, int count) {
  while (count-- > 0) {
    int quoted = 0;
    while (*line == L' ' || *line == L'\t') ++line;
    while (*line && (quoted || (*line != L' ' && *line != L'\t'))) {
      if (*line == L'"') quoted = !quoted;
      ++line;
    }
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

int wmain(int argc, wchar_t** argv) {
  FILE* out;
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  wchar_t* child;
  DWORD exitCode = 1;
  int live = 1;
  if (argc < 3) {
    fwprintf(stderr, L"usage: dbgrun OUTFILE COMMANDLINE...\n");
    return 2;
  }
  out = _wfopen(argv[1], L"wb");
  if (!out) return 3;
  child = _wcsdup(skip_args(GetCommandLineW(), 2));
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  if (!CreateProcessW(NULL, child, NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL, NULL, &si, &pi)) {
    fwprintf(stderr, L"dbgrun: cannot start %ls: %lu\n", child, GetLastError());
    return 4;
  }
  while (live) {
    DEBUG_EVENT ev;
    DWORD status = DBG_CONTINUE;
    if (!WaitForDebugEvent(&ev, INFINITE)) break;
    switch (ev.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        OUTPUT_DEBUG_STRING_INFO* s = &ev.u.DebugString;
        SIZE_T got = 0;
        size_t units = s->nDebugStringLength;
        if (s->fUnicode) {
          wchar_t* buf = (wchar_t*)calloc(units + 1, sizeof(wchar_t));
          ReadProcessMemory(pi.hProcess, s->lpDebugStringData, buf, units * sizeof(wchar_t), &got);
          units = got / sizeof(wchar_t);
          while (units > 0 && buf[units - 1] == 0) --units;
          write_utf8(out, buf, units);
          free(buf);
        } else {
          char* buf = (char*)calloc(units + 1, 1);
          wchar_t* wide;
          int n;
          ReadProcessMemory(pi.hProcess, s->lpDebugStringData, buf, units, &got);
          units = got;
          while (units > 0 && buf[units - 1] == 0) --units;
          n = MultiByteToWideChar(CP_ACP, 0, buf, (int)units, NULL, 0);
          wide = (wchar_t*)calloc((size_t)n + 1, sizeof(wchar_t));
          MultiByteToWideChar(CP_ACP, 0, buf, (int)units, wide, n);
          write_utf8(out, wide, (size_t)n);
          free(wide);
          free(buf);
        }
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exitCode = ev.u.ExitProcess.dwExitCode;
        live = 0;
        break;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  fclose(out);
  return (int)exitCode;
}
