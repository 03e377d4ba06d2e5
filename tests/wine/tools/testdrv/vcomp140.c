/* Test stand-in for the OpenMP runtime shipped beside the drivers. The
 * installer only copies it into the system folder when that has none; a
 * Wine prefix has its own, so the scenarios never load this one. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)instance; (void)reason; (void)reserved;
  return TRUE;
}
