/* Test stand-in for the family's language monitor: a print monitor that
 * loads and offers no ports. Spoolers call InitializePrintMonitor2 when the
 * monitor is added and at each start; a monitor without it is refused. */
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

static BOOL WINAPI enum_ports(HANDLE monitor, LPWSTR name, DWORD level, LPBYTE ports, DWORD size,
                              LPDWORD needed, LPDWORD returned) {
  (void)monitor; (void)name; (void)level; (void)ports; (void)size;
  if (needed) *needed = 0;
  if (returned) *returned = 0;
  return TRUE;
}

static BOOL WINAPI open_port(HANDLE monitor, LPWSTR name, PHANDLE port) {
  (void)monitor; (void)name; (void)port;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

static void WINAPI shutdown_monitor(HANDLE monitor) { (void)monitor; }

static MONITOR2 table;

__declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  (void)init;
  ZeroMemory(&table, sizeof table);
  table.cbSize = sizeof table;
  table.pfnEnumPorts = enum_ports;
  table.pfnOpenPort = open_port;
  table.pfnShutdown = shutdown_monitor;
  if (monitor) *monitor = (HANDLE)&table;
  return &table;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)instance; (void)reason; (void)reserved;
  return TRUE;
}
