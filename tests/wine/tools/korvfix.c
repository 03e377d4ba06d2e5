/* Fixtures for the Wine integration tests: puts a Wine prefix into the state
 * a scenario needs and reads back what the program left in the spooler.
 *
 *   korvfix plug-usb INSTANCE DESCRIPTION PORTNUMBER
 *       a USB printer: device USB\INSTANCE with a GUID_DEVINTERFACE_USBPRINT
 *       interface marked present, and its "Device Parameters"
 *   korvfix add-port NAME            a spooler port (the Ports key)
 *   korvfix add-driver NAME DRIVERDIR  the family's driver, files from DRIVERDIR
 *   korvfix add-queue NAME PORT DRIVER
 *   korvfix add-package-record ENV KEY DRIVERSTOREPATH
 *   korvfix add-printqueue-device FRIENDLYNAME
 *   korvfix list-usb                 present USB printer interfaces
 *   korvfix state                    drivers, queues, monitors and ports
 *   korvfix argv FILE                CommandLineToArgvW on each line of FILE
 * Output is UTF-8, one item a line. Exit code 0 on success.
 */
#include <windows.h>
#include <setupapi.h>
#include <shellapi.h>
#include <winspool.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static const GUID kUsbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
static const wchar_t* kUsbPrintText = L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

static void put_utf8(const wchar_t* text) {
  char buf[8192];
  int n = WideCharToMultiByte(CP_UTF8, 0, text ? text : L"", -1, buf, sizeof buf, NULL, NULL);
  if (n > 0) fwrite(buf, 1, (size_t)n - 1, stdout);
}

static void line(const wchar_t* label, const wchar_t* a, const wchar_t* b, const wchar_t* c) {
  put_utf8(label);
  if (a) { fputs("\t", stdout); put_utf8(a); }
  if (b) { fputs("\t", stdout); put_utf8(b); }
  if (c) { fputs("\t", stdout); put_utf8(c); }
  fputs("\n", stdout);
}

static int fail(const char* what) {
  fprintf(stderr, "korvfix: %s failed: %lu\n", what, GetLastError());
  return 1;
}

static LONG set_string(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* value) {
  HKEY key;
  LONG r = RegCreateKeyExW(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
  if (r) return r;
  r = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)value, (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return r;
}

static LONG set_dword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) {
  HKEY key;
  LONG r = RegCreateKeyExW(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
  if (r) return r;
  r = RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value);
  RegCloseKey(key);
  return r;
}

static int plug_usb(const wchar_t* instance, const wchar_t* description, DWORD port) {
  wchar_t id[512], path[1024], keyname[1024];
  HDEVINFO set;
  SP_DEVINFO_DATA dev;
  SP_DEVICE_INTERFACE_DATA iface;
  BYTE buffer[4096];
  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_W*)buffer;
  wchar_t* p;
  swprintf(id, 512, L"USB\\%ls", instance);
  set = SetupDiCreateDeviceInfoList(&kUsbPrint, NULL);
  if (set == INVALID_HANDLE_VALUE) return fail("SetupDiCreateDeviceInfoList");
  dev.cbSize = sizeof dev;
  if (!SetupDiCreateDeviceInfoW(set, id, &kUsbPrint, NULL, NULL, 0, &dev)) return fail("SetupDiCreateDeviceInfoW");
  if (!SetupDiRegisterDeviceInfo(set, &dev, 0, NULL, NULL, NULL)) return fail("SetupDiRegisterDeviceInfo");
  iface.cbSize = sizeof iface;
  if (!SetupDiCreateDeviceInterfaceW(set, &dev, &kUsbPrint, NULL, 0, &iface)) return fail("SetupDiCreateDeviceInterfaceW");
  detail->cbSize = sizeof *detail;
  if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, sizeof buffer, NULL, NULL))
    return fail("SetupDiGetDeviceInterfaceDetailW");
  /* The interface's key is its device path with ##?# for the \\?\ prefix. */
  swprintf(keyname, 1024, L"##?#%ls", detail->DevicePath + 4);
  for (p = keyname; *p; ++p) { /* keep as is */ }
  swprintf(path, 1024, L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\%ls\\%ls\\#\\Control", kUsbPrintText, keyname);
  if (set_dword(HKEY_LOCAL_MACHINE, path, L"Linked", 1)) return fail("Linked");
  swprintf(path, 1024, L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\%ls\\%ls\\#\\Device Parameters", kUsbPrintText, keyname);
  if (description && *description && set_string(HKEY_LOCAL_MACHINE, path, L"Port Description", description))
    return fail("Port Description");
  if (set_dword(HKEY_LOCAL_MACHINE, path, L"Port Number", port)) return fail("Port Number");
  SetupDiDestroyDeviceInfoList(set);
  line(L"device", detail->DevicePath, NULL, NULL);
  return 0;
}

static int add_port(const wchar_t* name) {
  if (set_string(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports", name, L""))
    return fail("add-port");
  return 0;
}

static int add_driver(const wchar_t* name, const wchar_t* dir) {
  DRIVER_INFO_3W info;
  wchar_t drv[MAX_PATH], data[MAX_PATH], config[MAX_PATH];
  ZeroMemory(&info, sizeof info);
  swprintf(drv, MAX_PATH, L"%ls\\korvdrv6.dll", dir);
  swprintf(data, MAX_PATH, L"%ls\\korvdrv6.dat", dir);
  swprintf(config, MAX_PATH, L"%ls\\korvdrv6ui.dll", dir);
  info.cVersion = 3;
  info.pName = (wchar_t*)name;
  info.pDriverPath = drv;
  info.pDataFile = data;
  info.pConfigFile = config;
  info.pDefaultDataType = L"RAW";
  if (!AddPrinterDriverExW(NULL, 3, (BYTE*)&info, APD_COPY_NEW_FILES)) return fail("AddPrinterDriverExW");
  return 0;
}

static int add_queue(const wchar_t* name, const wchar_t* port, const wchar_t* driver) {
  PRINTER_INFO_2W info;
  HANDLE h;
  ZeroMemory(&info, sizeof info);
  info.pPrinterName = (wchar_t*)name;
  info.pPortName = (wchar_t*)port;
  info.pDriverName = (wchar_t*)driver;
  info.pPrintProcessor = L"WinPrint";
  info.pDatatype = L"RAW";
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  h = AddPrinterW(NULL, 2, (BYTE*)&info);
  if (!h) return fail("AddPrinterW");
  ClosePrinter(h);
  return 0;
}

static int add_package_record(const wchar_t* env, const wchar_t* key, const wchar_t* storePath) {
  wchar_t path[1024];
  HKEY h;
  LONG r;
  size_t n = wcslen(storePath);
  wchar_t* multi = (wchar_t*)calloc(n + 2, sizeof(wchar_t));
  wcscpy(multi, storePath);
  swprintf(path, 1024, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\%ls\\DriverPackages\\%ls", env, key);
  r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL);
  if (r) { SetLastError((DWORD)r); return fail("package key"); }
  r = RegSetValueExW(h, L"DriverStorePath", 0, REG_MULTI_SZ, (const BYTE*)multi, (DWORD)((n + 2) * sizeof(wchar_t)));
  RegCloseKey(h);
  free(multi);
  if (r) { SetLastError((DWORD)r); return fail("DriverStorePath"); }
  return 0;
}

static int add_printqueue_device(const wchar_t* friendly) {
  GUID guids[4];
  DWORD count = 0;
  HDEVINFO set;
  SP_DEVINFO_DATA dev;
  wchar_t id[512];
  static int serial = 0;
  if (!SetupDiClassGuidsFromNameW(L"PrintQueue", guids, 4, &count) || count == 0) {
    /* Register the class the way Windows has it. */
    static const GUID printQueue = {0x1ed2bbf9, 0x11f0, 0x4084, {0xb2, 0x1f, 0xad, 0x83, 0xa8, 0xe6, 0xdc, 0xdc}};
    if (set_string(HKEY_LOCAL_MACHINE,
                   L"SYSTEM\\CurrentControlSet\\Control\\Class\\{1ed2bbf9-11f0-4084-b21f-ad83a8e6dcdc}",
                   L"Class", L"PrintQueue"))
      return fail("PrintQueue class");
    guids[0] = printQueue;
  }
  set = SetupDiCreateDeviceInfoList(&guids[0], NULL);
  dev.cbSize = sizeof dev;
  swprintf(id, 512, L"SWD\\PRINTENUM\\KORVTEST%d_%lu", ++serial, GetTickCount());
  if (!SetupDiCreateDeviceInfoW(set, id, &guids[0], NULL, NULL, 0, &dev)) return fail("SetupDiCreateDeviceInfoW");
  if (!SetupDiRegisterDeviceInfo(set, &dev, 0, NULL, NULL, NULL)) return fail("SetupDiRegisterDeviceInfo");
  if (!SetupDiSetDeviceRegistryPropertyW(set, &dev, SPDRP_FRIENDLYNAME, (const BYTE*)friendly,
                                         (DWORD)((wcslen(friendly) + 1) * sizeof(wchar_t))))
    return fail("SPDRP_FRIENDLYNAME");
  SetupDiDestroyDeviceInfoList(set);
  return 0;
}

static int state(void) {
  DWORD need = 0, count = 0, i;
  BYTE* buf;
  EnumPrinterDriversW(NULL, NULL, 3, NULL, 0, &need, &count);
  buf = (BYTE*)calloc(need + 1, 1);
  if (need && EnumPrinterDriversW(NULL, NULL, 3, buf, need, &need, &count)) {
    DRIVER_INFO_3W* d = (DRIVER_INFO_3W*)buf;
    for (i = 0; i < count; ++i) line(L"driver", d[i].pName, d[i].pConfigFile, d[i].pMonitorName);
  }
  free(buf);
  need = count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 2, NULL, 0, &need, &count);
  buf = (BYTE*)calloc(need + 1, 1);
  if (need && EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 2, buf, need, &need, &count)) {
    PRINTER_INFO_2W* p = (PRINTER_INFO_2W*)buf;
    for (i = 0; i < count; ++i) line(L"queue", p[i].pPrinterName, p[i].pPortName, p[i].pDriverName);
  }
  free(buf);
  need = count = 0;
  EnumMonitorsW(NULL, 2, NULL, 0, &need, &count);
  buf = (BYTE*)calloc(need + 1, 1);
  if (need && EnumMonitorsW(NULL, 2, buf, need, &need, &count)) {
    MONITOR_INFO_2W* m = (MONITOR_INFO_2W*)buf;
    for (i = 0; i < count; ++i) line(L"monitor", m[i].pName, m[i].pDLLName, NULL);
  }
  free(buf);
  need = count = 0;
  EnumPortsW(NULL, 1, NULL, 0, &need, &count);
  buf = (BYTE*)calloc(need + 1, 1);
  if (need && EnumPortsW(NULL, 1, buf, need, &need, &count)) {
    PORT_INFO_1W* p = (PORT_INFO_1W*)buf;
    for (i = 0; i < count; ++i) line(L"port", p[i].pName, NULL, NULL);
  }
  free(buf);
  return 0;
}

/* The present USB printer interfaces, as the program enumerates them. */
static int list_usb(void) {
  HDEVINFO set = SetupDiGetClassDevsW(&kUsbPrint, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA iface;
  DWORD i;
  if (set == INVALID_HANDLE_VALUE) return fail("SetupDiGetClassDevsW");
  iface.cbSize = sizeof iface;
  for (i = 0; SetupDiEnumDeviceInterfaces(set, NULL, &kUsbPrint, i, &iface); ++i) {
    BYTE buffer[4096];
    SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_W*)buffer;
    detail->cbSize = sizeof *detail;
    if (SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, sizeof buffer, NULL, NULL))
      line(L"usb", detail->DevicePath, NULL, NULL);
  }
  SetupDiDestroyDeviceInfoList(set);
  return 0;
}

/* Each line of FILE (UTF-8) goes through CommandLineToArgvW; the tokens are
 * printed between brackets, one line per input line. */
static int argv_file(const wchar_t* file) {
  FILE* in = _wfopen(file, L"rb");
  char text[4096];
  if (!in) return fail("open");
  while (fgets(text, sizeof text, in)) {
    wchar_t wide[4096];
    int argc = 0, i;
    LPWSTR* args;
    size_t n = strlen(text);
    while (n && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 4096);
    args = CommandLineToArgvW(wide, &argc);
    if (!args) { fputs("null\n", stdout); continue; }
    for (i = 0; i < argc; ++i) {
      fputs(i ? " [" : "[", stdout);
      put_utf8(args[i]);
      fputs("]", stdout);
    }
    fputs("\n", stdout);
    LocalFree(args);
  }
  fclose(in);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc >= 5 && !wcscmp(argv[1], L"plug-usb")) return plug_usb(argv[2], argv[3], (DWORD)_wtoi(argv[4]));
  if (argc >= 3 && !wcscmp(argv[1], L"add-port")) return add_port(argv[2]);
  if (argc >= 4 && !wcscmp(argv[1], L"add-driver")) return add_driver(argv[2], argv[3]);
  if (argc >= 5 && !wcscmp(argv[1], L"add-queue")) return add_queue(argv[2], argv[3], argv[4]);
  if (argc >= 5 && !wcscmp(argv[1], L"add-package-record")) return add_package_record(argv[2], argv[3], argv[4]);
  if (argc >= 3 && !wcscmp(argv[1], L"add-printqueue-device")) return add_printqueue_device(argv[2]);
  if (argc >= 2 && !wcscmp(argv[1], L"state")) return state();
  if (argc >= 2 && !wcscmp(argv[1], L"list-usb")) return list_usb();
  if (argc >= 3 && !wcscmp(argv[1], L"argv")) return argv_file(argv[2]);
  fwprintf(stderr, L"usage: korvfix plug-usb|add-port|add-driver|add-queue|add-package-record|add-printqueue-device|state|argv ...\n");
  return 2;
}
