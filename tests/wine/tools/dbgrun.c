/* Runs a program as its debuggee and records every debug string it sends,
 * one UTF-8 line each. Wine's own logging converts to the ANSI code page and
 * cuts long strings, so it cannot serve an exact comparison.
 *
 * usage: dbgrun OUTFILE COMMANDLINE...
 * The rest of the own command line after OUTFILE is the child's, passed on
 * exactly as written. Exit code: the child's. Backslashes, line feeds and
 * carriage returns in a string are written as \\, \n and \r, so that one
 * debug string is one line of the file.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static void write_line(FILE* out, const wchar_t* text, size_t len) {
  wchar_t* esc = (wchar_t*)calloc(len * 2 + 1, sizeof(wchar_t));
  size_t n = 0;
  for (size_t i = 0; i < len; ++i) {
    wchar_t c = text[i];
    if (c == L'\\' || c == L'\n' || c == L'\r') esc[n++] = L'\\';
    esc[n++] = c == L'\n' ? L'n' : c == L'\r' ? L'r' : c;
  }
  int bytes = WideCharToMultiByte(CP_UTF8, 0, esc, (int)n, NULL, 0, NULL, NULL);
  char* utf8 = (char*)malloc((size_t)bytes + 1);
  WideCharToMultiByte(CP_UTF8, 0, esc, (int)n, utf8, bytes, NULL, NULL);
  fwrite(utf8, 1, (size_t)bytes, out);
  fputc('\n', out);
  fflush(out);
  free(utf8);
  free(esc);
}

/* Skips COUNT arguments of a command line, quotes respected. */
static const wchar_t* skip_args(const wchar_t* line, int count) {
  for (; count >= 0; --count) {
    int quoted = 0;
    while (*line == L' ' || *line == L'\t') ++line;
    if (!count) break;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line) quoted ^= *line == L'"';
  }
  return line;
}

int wmain(int argc, wchar_t** argv) {
  STARTUPINFOW si = {sizeof si};
  PROCESS_INFORMATION pi;
  DWORD exitCode = 1;
  FILE* out = argc >= 3 ? _wfopen(argv[1], L"wb") : NULL;
  wchar_t* child = _wcsdup(skip_args(GetCommandLineW(), 2));
  if (!out) return 2;
  if (!CreateProcessW(NULL, child, NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL, NULL, &si, &pi)) return 4;
  for (int live = 1; live;) {
    DEBUG_EVENT ev;
    DWORD status = DBG_CONTINUE;
    if (!WaitForDebugEvent(&ev, INFINITE)) break;
    if (ev.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
      OUTPUT_DEBUG_STRING_INFO* s = &ev.u.DebugString;
      size_t unit = s->fUnicode ? sizeof(wchar_t) : 1, n = s->nDebugStringLength;
      SIZE_T got = 0;
      char* raw = (char*)calloc(n + 1, unit);
      wchar_t* wide = (wchar_t*)calloc(n + 1, sizeof(wchar_t));
      ReadProcessMemory(pi.hProcess, s->lpDebugStringData, raw, n * unit, &got);
      n = got / unit;
      if (s->fUnicode) memcpy(wide, raw, n * unit);
      else n = (size_t)MultiByteToWideChar(CP_ACP, 0, raw, (int)n, wide, (int)n);
      while (n > 0 && wide[n - 1] == 0) --n;
      write_line(out, wide, n);
      free(wide);
      free(raw);
    } else if (ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
      if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
    } else if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && ev.u.CreateProcessInfo.hFile) {
      CloseHandle(ev.u.CreateProcessInfo.hFile);
    } else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && ev.u.LoadDll.hFile) {
      CloseHandle(ev.u.LoadDll.hFile);
    } else if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      exitCode = ev.u.ExitProcess.dwExitCode;
      live = 0;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  fclose(out);
  return (int)exitCode;
}
