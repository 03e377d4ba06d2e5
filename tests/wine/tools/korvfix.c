/* Fixtures for the Wine integration tests: puts a Wine prefix into the state
 * a scenario needs and reads back what the program left in the spooler.
 *
 *   korvfix plug-usb INSTANCE DESCRIPTION PORTNUMBER
 *       a USB printer: device USB\INSTANCE with a GUID_DEVINTERFACE_USBPRINT
 *       interface marked present, and its "Device Parameters"
 *   korvfix add-port NAME            a spooler port (the Ports key)
 *   korvfix add-driver NAME INSTALLDIR the family's driver, files from the
 *                                    x64 build of an installer folder
 *   korvfix add-queue NAME PORT DRIVER
 *   korvfix add-package-record ENV KEY DRIVERSTOREPATH
 *   korvfix add-printqueue-device FRIENDLYNAME
 *   korvfix list-usb                 present USB printer interfaces
 *   korvfix state                    drivers (also as the level-8 records the
 *                                    installer reads), queues, monitors, ports,
 *                                    package records, files in the driver
 *                                    directory, named device nodes
 *   korvfix windows [TITLE]          visible top-level windows of other
 *                                    processes (or those titled TITLE) with
 *                                    their controls, tree items and screen
 *                                    rectangles
 *   korvfix procs                    running processes with their command lines
 *   korvfix probe INSTALLDIR         the answers of the calls where Wine
 *                                    differs from Windows, on a driver and
 *                                    queue of its own
 *   korvfix argv FILE                CommandLineToArgvW on each line of FILE
 * Output is UTF-8, one item a line, fields separated by tabs; in texts a
 * carriage return, line feed or tab is written as \r, \n or \t. Exit code 0
 * on success.
 */
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>
#include <tlhelp32.h>
#include <winternl.h>
#include <shellapi.h>
#include <winspool.h>
#include <fcntl.h>
#include <io.h>
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

/* A text as one field: line breaks and tabs spelled out. */
static void put_field(const wchar_t* text) {
  const wchar_t* p;
  wchar_t run[512];
  size_t n = 0;
  for (p = text ? text : L""; *p; ++p) {
    const wchar_t* esc = *p == L'\r' ? L"\\r" : *p == L'\n' ? L"\\n" : *p == L'\t' ? L"\\t" : NULL;
    if (esc || n + 1 >= 512) {
      run[n] = 0;
      put_utf8(run);
      n = 0;
    }
    if (esc) put_utf8(esc);
    else run[n++] = *p;
  }
  run[n] = 0;
  put_utf8(run);
}

static void line(const wchar_t* label, const wchar_t* a, const wchar_t* b, const wchar_t* c) {
  put_utf8(label);
  if (a) { fputs("\t", stdout); put_field(a); }
  if (b) { fputs("\t", stdout); put_field(b); }
  if (c) { fputs("\t", stdout); put_field(c); }
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

/* Registers the family's driver the way an earlier installation left it:
 * the files in the spooler's driver directory, the driver registered by
 * their paths there. DIR is an installer folder (subfolders amd64 and dat). */
static int add_driver(const wchar_t* name, const wchar_t* dir) {
  static const wchar_t* files[] = {L"amd64\\korvdrv6.dll", L"amd64\\korvdrv6ui.dll", L"dat\\korvdrv6.dat"};
  static const wchar_t* names[] = {L"korvdrv6.dll", L"korvdrv6ui.dll", L"korvdrv6.dat"};
  DRIVER_INFO_3W info;
  wchar_t drv[MAX_PATH], data[MAX_PATH], config[MAX_PATH], driverDir[MAX_PATH];
  DWORD need = 0;
  int i;
  if (!GetPrinterDriverDirectoryW(NULL, NULL, 1, (BYTE*)driverDir, sizeof driverDir, &need))
    return fail("GetPrinterDriverDirectoryW");
  for (i = 0; i < 3; ++i) {
    wchar_t from[MAX_PATH], to[MAX_PATH];
    swprintf(from, MAX_PATH, L"%ls\\%ls", dir, files[i]);
    swprintf(to, MAX_PATH, L"%ls\\%ls", driverDir, names[i]);
    if (!CopyFileW(from, to, FALSE)) return fail("CopyFileW");
  }
  ZeroMemory(&info, sizeof info);
  swprintf(drv, MAX_PATH, L"%ls\\korvdrv6.dll", driverDir);
  swprintf(data, MAX_PATH, L"%ls\\korvdrv6.dat", driverDir);
  swprintf(config, MAX_PATH, L"%ls\\korvdrv6ui.dll", driverDir);
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

/* The drivers as the installer reads them: level 8, the fields it uses. */
static void state_drivers8(void) {
  DWORD need = 0, count = 0, i;
  BYTE* buf;
  EnumPrinterDriversW(NULL, NULL, 8, NULL, 0, &need, &count);
  if (!need) return;
  buf = (BYTE*)calloc(need + 1, 1);
  if (EnumPrinterDriversW(NULL, NULL, 8, buf, need, &need, &count)) {
    DRIVER_INFO_8W* d = (DRIVER_INFO_8W*)buf;
    for (i = 0; i < count; ++i) {
      wchar_t version[64];
      DWORDLONG v = d[i].dwlDriverVersion;
      swprintf(version, 64, L"%u.%u.%u.%u", (unsigned)(v >> 48) & 0xffff, (unsigned)(v >> 32) & 0xffff,
               (unsigned)(v >> 16) & 0xffff, (unsigned)v & 0xffff);
      line(L"driver8", d[i].pName, d[i].pDriverPath, version);
      line(L"driver8-more", d[i].pName, d[i].pszInfPath ? d[i].pszInfPath : L"(null)",
           d[i].pszProvider ? d[i].pszProvider : L"(null)");
      line(L"driver8-monitor", d[i].pName, d[i].pMonitorName ? d[i].pMonitorName : L"(null)", NULL);
    }
  }
  free(buf);
}

/* The spooler's package-installation records of this machine's processor. */
static void state_packages(void) {
  static const wchar_t* envs[] = {L"Windows x64", L"Windows NT x86", L"Windows ARM64", L"Windows ARM"};
  int e;
  for (e = 0; e < 4; ++e) {
    wchar_t path[512], name[260], value[1024];
    HKEY key;
    DWORD i;
    swprintf(path, 512, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\%ls\\DriverPackages",
             envs[e]);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key)) continue;
    for (i = 0; RegEnumKeyW(key, i, name, 260) == ERROR_SUCCESS; ++i) {
      DWORD size = sizeof value;
      ZeroMemory(value, sizeof value);
      RegGetValueW(key, name, L"DriverStorePath", RRF_RT_REG_MULTI_SZ, NULL, value, &size);
      line(L"package", envs[e], name, value);
    }
    RegCloseKey(key);
  }
}

static void list_folder(const wchar_t* folder) {
  wchar_t pattern[MAX_PATH + 8], full[MAX_PATH * 2];
  WIN32_FIND_DATAW found;
  HANDLE find;
  swprintf(pattern, MAX_PATH + 8, L"%ls\\*", folder);
  find = FindFirstFileW(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    swprintf(full, MAX_PATH * 2, L"%ls\\%ls", folder, found.cFileName);
    line(L"file", full, NULL, NULL);
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

/* The spooler's driver directory (and its version-3 folder, where
 * registered drivers live), and the family's files in the system folder. */
static void state_files(void) {
  wchar_t dir[MAX_PATH], sub[MAX_PATH + 4], system[MAX_PATH], path[MAX_PATH * 2];
  DWORD need = 0;
  static const wchar_t* systemFiles[] = {L"korvmon.dll", L"vcomp140.dll"};
  int i;
  if (GetPrinterDriverDirectoryW(NULL, NULL, 1, (BYTE*)dir, sizeof dir, &need)) {
    line(L"driverdir", dir, NULL, NULL);
    list_folder(dir);
    swprintf(sub, MAX_PATH + 4, L"%ls\\3", dir);
    list_folder(sub);
  }
  GetSystemDirectoryW(system, MAX_PATH);
  for (i = 0; i < 2; ++i) {
    swprintf(path, MAX_PATH * 2, L"%ls\\%ls", system, systemFiles[i]);
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) line(L"file", path, NULL, NULL);
  }
}

/* Device nodes of every class that carry a friendly name. */
static void state_devnodes(void) {
  HDEVINFO set = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_ALLCLASSES);
  SP_DEVINFO_DATA dev;
  DWORD i;
  if (set == INVALID_HANDLE_VALUE) return;
  dev.cbSize = sizeof dev;
  for (i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
    wchar_t friendly[256], id[512];
    ZeroMemory(friendly, sizeof friendly);
    if (!SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_FRIENDLYNAME, NULL, (BYTE*)friendly,
                                           sizeof friendly - sizeof(wchar_t), NULL))
      continue;
    if (!SetupDiGetDeviceInstanceIdW(set, &dev, id, 512, NULL)) id[0] = 0;
    line(L"devnode", id, friendly, NULL);
  }
  SetupDiDestroyDeviceInfoList(set);
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
  state_drivers8();
  state_packages();
  state_files();
  state_devnodes();
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

/* ---- windows of other processes ---- */

static void put_rect(HWND window) {
  RECT r;
  char buf[96];
  GetWindowRect(window, &r);
  snprintf(buf, sizeof buf, "\t%ld,%ld,%ld,%ld", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
  fputs(buf, stdout);
}

static void put_text_of(HWND window) {
  wchar_t text[4096];
  text[0] = 0;
  /* WM_GETTEXT is carried across processes by the system. */
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
  text[4095] = 0;
  /* A picture control's text is the resource id of its image. */
  if (text[0] == 0xFFFF) {
    char id[16];
    snprintf(id, sizeof id, "#%u", (unsigned)text[1]);
    fputs(id, stdout);
    return;
  }
  put_field(text);
}

/* Tree items live in the owner's address space: TVM_GETITEMW needs its
 * TVITEMW and text buffer there. */
static void dump_tree(HWND tree) {
  DWORD pid = 0;
  HANDLE process;
  BYTE* remote;
  HTREEITEM item, stack[16];
  int depth = 0;
  const SIZE_T textOffset = 256;
  GetWindowThreadProcessId(tree, &pid);
  process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return;
  remote = (BYTE*)VirtualAllocEx(process, NULL, 8192, MEM_COMMIT, PAGE_READWRITE);
  if (!remote) { CloseHandle(process); return; }
  item = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  while (item) {
    TVITEMW tv;
    wchar_t text[2048];
    HTREEITEM next;
    char prefix[48];
    ZeroMemory(&tv, sizeof tv);
    tv.mask = TVIF_TEXT | TVIF_STATE | TVIF_HANDLE;
    tv.hItem = item;
    tv.stateMask = TVIS_EXPANDED;
    tv.pszText = (LPWSTR)(remote + textOffset);
    tv.cchTextMax = 2048 - 1;
    ZeroMemory(text, sizeof text);
    WriteProcessMemory(process, remote, &tv, sizeof tv, NULL);
    WriteProcessMemory(process, remote + textOffset, text, sizeof(wchar_t), NULL);
    SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)remote);
    ReadProcessMemory(process, remote, &tv, sizeof tv, NULL);
    ReadProcessMemory(process, remote + textOffset, text, sizeof text - sizeof(wchar_t), NULL);
    snprintf(prefix, sizeof prefix, "item\t%d\t%s\t", depth, (tv.state & TVIS_EXPANDED) ? "expanded" : "-");
    fputs(prefix, stdout);
    put_field(text);
    fputs("\n", stdout);
    /* depth first: child, else next sibling, else the next sibling of an ancestor */
    next = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)item);
    if (next && depth < 15) {
      stack[depth++] = item;
      item = next;
      continue;
    }
    next = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item);
    while (!next && depth > 0) {
      item = stack[--depth];
      next = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item);
    }
    item = next;
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
}

static void dump_window(HWND window) {
  wchar_t cls[128];
  HWND child;
  DWORD pid = 0;
  char buf[64];
  GetClassNameW(window, cls, 128);
  GetWindowThreadProcessId(window, &pid);
  fputs("window\t", stdout);
  put_text_of(window);
  fputs("\t", stdout);
  put_utf8(cls);
  snprintf(buf, sizeof buf, "\tpid=%lu", pid);
  fputs(buf, stdout);
  put_rect(window);
  /* The extended style: WS_EX_LAYOUTRTL (0x00400000) for a mirrored window. */
  snprintf(buf, sizeof buf, "\tex=%08lx", (unsigned long)GetWindowLongW(window, GWL_EXSTYLE));
  fputs(buf, stdout);
  fputs("\n", stdout);
  for (child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    GetClassNameW(child, cls, 128);
    snprintf(buf, sizeof buf, "control\t%d\t", (int)(short)GetDlgCtrlID(child));
    fputs(buf, stdout);
    put_utf8(cls);
    fputs(IsWindowVisible(child) ? "\tvisible" : "\thidden", stdout);
    fputs(IsWindowEnabled(child) ? "\tenabled" : "\tdisabled", stdout);
    put_rect(child);
    fputs("\t", stdout);
    if (!_wcsicmp(cls, PROGRESS_CLASSW)) {
      snprintf(buf, sizeof buf, "pos=%d", (int)SendMessageW(child, PBM_GETPOS, 0, 0));
      fputs(buf, stdout);
    } else {
      put_text_of(child);
    }
    fputs("\n", stdout);
    if (!_wcsicmp(cls, WC_TREEVIEWW)) dump_tree(child);
  }
}

static const wchar_t* g_title;

static BOOL CALLBACK each_top_window(HWND window, LPARAM unused) {
  DWORD pid = 0;
  (void)unused;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (g_title) {
    wchar_t title[512];
    title[0] = 0;
    GetWindowTextW(window, title, 512);
    if (wcscmp(title, g_title)) return TRUE;
  }
  dump_window(window);
  return TRUE;
}

static int windows(const wchar_t* title) {
  g_title = title;
  EnumWindows(each_top_window, 0);
  return 0;
}

/* ---- processes ---- */

/* Another process's command line, read from its parameter block. */
static void command_line_of(DWORD pid, wchar_t* out, size_t cap) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  PROCESS_BASIC_INFORMATION basic;
  PEB peb;
  RTL_USER_PROCESS_PARAMETERS params;
  ULONG got = 0;
  out[0] = 0;
  if (!process) return;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &got) == 0 &&
      ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, NULL) &&
      ReadProcessMemory(process, peb.ProcessParameters, &params, sizeof params, NULL)) {
    size_t units = params.CommandLine.Length / sizeof(wchar_t);
    if (units >= cap) units = cap - 1;
    if (ReadProcessMemory(process, params.CommandLine.Buffer, out, units * sizeof(wchar_t), NULL)) out[units] = 0;
    else out[0] = 0;
  }
  CloseHandle(process);
}

static int procs(void) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry;
  if (snap == INVALID_HANDLE_VALUE) return fail("CreateToolhelp32Snapshot");
  entry.dwSize = sizeof entry;
  if (Process32FirstW(snap, &entry)) {
    do {
      wchar_t pid[16], cmd[4096];
      if (entry.th32ProcessID == GetCurrentProcessId()) continue;
      swprintf(pid, 16, L"%lu", entry.th32ProcessID);
      command_line_of(entry.th32ProcessID, cmd, 4096);
      line(L"proc", pid, entry.szExeFile, cmd);
    } while (Process32NextW(snap, &entry));
  }
  CloseHandle(snap);
  return 0;
}

/* ---- what this Wine answers where it differs from Windows ---- */

typedef HRESULT(WINAPI* UploadFn)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, HWND, LPWSTR, PULONG);
typedef HRESULT(WINAPI* DeletePackageFn)(LPCWSTR, LPCWSTR, LPCWSTR);
typedef DWORD(WINAPI* CmLocateFn)(DWORD*, WCHAR*, ULONG);
typedef DWORD(WINAPI* CmReenumerateFn)(DWORD, ULONG);

static void probe_result(const char* what, long long value, DWORD error) {
  printf("%s\t%lld\t%lu\n", what, value, error);
}

/* The call first, then its last error (argument order is unspecified). */
#define PROBE(what, call)                         \
  do {                                            \
    long long value_;                             \
    SetLastError(0);                              \
    value_ = (long long)(call);                   \
    probe_result(what, value_, GetLastError());   \
  } while (0)

/* Each call the installer makes where Wine is known to differ, made the same
 * way on a probe driver and queue of our own, one line each:
 * NAME <tab> RESULT <tab> LAST-ERROR. INSTALLDIR is an installer folder
 * (its driver files and korvv6.inf are used). */
static int probe(const wchar_t* installDir) {
  HMODULE spool = LoadLibraryW(L"winspool.drv");
  HMODULE cfg = LoadLibraryW(L"cfgmgr32.dll");
  UploadFn upload = (UploadFn)(void*)GetProcAddress(spool, "UploadPrinterDriverPackageW");
  DeletePackageFn deletePackage = (DeletePackageFn)(void*)GetProcAddress(spool, "DeletePrinterDriverPackageW");
  CmLocateFn locate = cfg ? (CmLocateFn)(void*)GetProcAddress(cfg, "CM_Locate_DevNodeW") : NULL;
  CmReenumerateFn reenumerate = cfg ? (CmReenumerateFn)(void*)GetProcAddress(cfg, "CM_Reenumerate_DevNode") : NULL;
  wchar_t inf[MAX_PATH], dest[MAX_PATH];
  ULONG destSize = MAX_PATH;
  const wchar_t* name = L"Korvane Probe";
  DWORD need = 0, count = 0, i, root = 0;
  BYTE* buf;
  HANDLE printer;
  PRINTER_INFO_2W queue;
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ALL_ACCESS};

  swprintf(inf, MAX_PATH, L"%lskorvv6.inf", installDir);
  if (upload) {
    dest[0] = 0;
    PROBE("UploadPrinterDriverPackageW", upload(NULL, inf, NULL, 2, NULL, dest, &destSize));
  } else {
    puts("UploadPrinterDriverPackageW\tmissing\t0");
  }
  if (deletePackage) PROBE("DeletePrinterDriverPackageW", deletePackage(NULL, inf, NULL));
  else puts("DeletePrinterDriverPackageW\tmissing\t0");
  if (locate) {
    DWORD r = locate(&root, NULL, 0);
    probe_result("CM_Locate_DevNodeW", r, 0);
  } else {
    puts("CM_Locate_DevNodeW\tmissing\t0");
  }
  if (reenumerate) probe_result("CM_Reenumerate_DevNode", reenumerate(root, 1), 0);
  else puts("CM_Reenumerate_DevNode\tmissing\t0");

  /* The probe driver, registered as the installer registers the family's:
   * level 8, file names resolved in the driver directory (put there by a
   * level-3 registration of another name), version, date, provider, maker
   * and INF path set; then read back at level 8. */
  if (add_driver(L"Korvane Probe Files", installDir)) return 1;
  {
    DRIVER_INFO_8W d8;
    SYSTEMTIME day = {2026, 4, 0, 7, 0, 0, 0, 0};
    ZeroMemory(&d8, sizeof d8);
    d8.cVersion = 3;
    d8.pName = (wchar_t*)name;
    d8.pDriverPath = L"korvdrv6.dll";
    d8.pDataFile = L"korvdrv6.dat";
    d8.pConfigFile = L"korvdrv6ui.dll";
    d8.pDefaultDataType = L"RAW";
    d8.pszProvider = L"korvane";
    d8.pszMfgName = L"Korvane";
    d8.pszPrintProcessor = L"winprint";
    d8.pszInfPath = inf;
    d8.dwlDriverVersion = 0x07EA000400070006ULL;
    SystemTimeToFileTime(&day, &d8.ftDriverDate);
    PROBE("AddPrinterDriverW-level8", AddPrinterDriverW(NULL, 8, (BYTE*)&d8));
  }
  need = count = 0;
  EnumPrinterDriversW(NULL, NULL, 8, NULL, 0, &need, &count);
  buf = (BYTE*)calloc(need + 1, 1);
  if (need && EnumPrinterDriversW(NULL, NULL, 8, buf, need, &need, &count)) {
    DRIVER_INFO_8W* d = (DRIVER_INFO_8W*)buf;
    for (i = 0; i < count; ++i) {
      if (wcscmp(d[i].pName, name)) continue;
      probe_result("level8-dwlDriverVersion", (long long)d[i].dwlDriverVersion, 0);
      probe_result("level8-ftDriverDate", (long long)(((ULONGLONG)d[i].ftDriverDate.dwHighDateTime << 32) |
                                                      d[i].ftDriverDate.dwLowDateTime), 0);
      probe_result("level8-pszInfPath-set", d[i].pszInfPath && d[i].pszInfPath[0], 0);
      probe_result("level8-pszMfgName-set", d[i].pszMfgName && d[i].pszMfgName[0], 0);
      probe_result("level8-pszProvider-set", d[i].pszProvider && d[i].pszProvider[0], 0);
    }
  }
  free(buf);

  /* A queue onto a port the spooler does not list. */
  ZeroMemory(&queue, sizeof queue);
  queue.pPrinterName = L"Korvane Probe Queue";
  queue.pPortName = L"USB099";
  queue.pDriverName = (wchar_t*)name;
  queue.pPrintProcessor = L"WinPrint";
  queue.pDatatype = L"RAW";
  queue.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  SetLastError(0);
  printer = AddPrinterW(NULL, 2, (BYTE*)&queue);
  {
    DWORD error = GetLastError();
    probe_result("AddPrinterW-unknown-port", printer != NULL, error);
  }
  if (printer) ClosePrinter(printer);

  if (OpenPrinterW(L"Korvane Probe Queue", &printer, &defaults)) {
    PROBE("SetPrinterW-purge", SetPrinterW(printer, 0, NULL, PRINTER_CONTROL_PURGE));
    PROBE("DeletePrinter", DeletePrinter(printer));
    ClosePrinter(printer);
  }
  PROBE("DeletePrinterDriverExW-unused-files",
        DeletePrinterDriverExW(NULL, NULL, (wchar_t*)name, DPD_DELETE_UNUSED_FILES, 0));
  PROBE("DeletePrinterDriverExW-no-flags", DeletePrinterDriverExW(NULL, NULL, (wchar_t*)name, 0, 0));
  {
    /* The INF's DriverVer through SetupAPI, as the inventory reads it. */
    DWORD size = 0;
    SP_INF_INFORMATION* info;
    wchar_t version[64];
    BOOL ok;
    SetupGetInfInformationW(inf, INFINFO_INF_NAME_IS_ABSOLUTE, NULL, 0, &size);
    info = (SP_INF_INFORMATION*)calloc(size + 1, 1);
    version[0] = 0;
    ok = size && SetupGetInfInformationW(inf, INFINFO_INF_NAME_IS_ABSOLUTE, info, size, NULL) &&
         SetupQueryInfVersionInformationW(info, 0, L"DriverVer", version, 64, NULL);
    {
      DWORD error = GetLastError();
      probe_result("SetupQueryInfVersionInformationW-DriverVer", ok && version[0], error);
    }
    free(info);
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  /* Lines end in a bare line feed, as the scripts that read them expect. */
  _setmode(_fileno(stdout), _O_BINARY);
  /* Window rectangles in the screen's pixels, whatever its scale: a program
   * that is not DPI aware would get them scaled to 96 DPI. */
  SetProcessDPIAware();
  if (argc >= 5 && !wcscmp(argv[1], L"plug-usb")) return plug_usb(argv[2], argv[3], (DWORD)_wtoi(argv[4]));
  if (argc >= 3 && !wcscmp(argv[1], L"add-port")) return add_port(argv[2]);
  if (argc >= 4 && !wcscmp(argv[1], L"add-driver")) return add_driver(argv[2], argv[3]);
  if (argc >= 5 && !wcscmp(argv[1], L"add-queue")) return add_queue(argv[2], argv[3], argv[4]);
  if (argc >= 5 && !wcscmp(argv[1], L"add-package-record")) return add_package_record(argv[2], argv[3], argv[4]);
  if (argc >= 3 && !wcscmp(argv[1], L"add-printqueue-device")) return add_printqueue_device(argv[2]);
  if (argc >= 2 && !wcscmp(argv[1], L"state")) return state();
  if (argc >= 2 && !wcscmp(argv[1], L"list-usb")) return list_usb();
  if (argc >= 3 && !wcscmp(argv[1], L"argv")) return argv_file(argv[2]);
  if (argc >= 2 && !wcscmp(argv[1], L"windows")) return windows(argc >= 3 ? argv[2] : NULL);
  if (argc >= 2 && !wcscmp(argv[1], L"procs")) return procs();
  if (argc >= 3 && !wcscmp(argv[1], L"probe")) return probe(argv[2]);
  fwprintf(stderr, L"usage: korvfix plug-usb|add-port|add-driver|add-queue|add-package-record|"
                   L"add-printqueue-device|list-usb|state|windows|procs|argv ...\n");
  return 2;
}
