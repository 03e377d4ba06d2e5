/* Test stand-in for the family's rendering driver: a DLL under the right
 * name that refuses to render. The installer copies and registers it by
 * name and never loads it; Wine's spooler does not load it either. */
#include <windows.h>

__declspec(dllexport) BOOL WINAPI DrvEnableDriver(ULONG version, ULONG size, void* data) {
  (void)version; (void)size; (void)data;
  return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)instance; (void)reason; (void)reserved;
  return TRUE;
}
