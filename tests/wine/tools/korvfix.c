/* The Wine runner's hands in a prefix (tests/wine/run.sh): lays out the
 * machine of a scenario and reads back what a person would see.
 *
 *   plug-usb INSTANCE DESCRIPTION PORTNUMBER  a USB printer interface, present
 *   add-port NAME | add-driver NAME INSTALLDIR | add-queue NAME PORT DRIVER
 *   add-package STOREDINF          a driver-package record and its INF
 *   add-printqueue-device NAME     a PrintQueue device node
 *   devnodes                       device nodes with a friendly name
 *   windows [TITLE]                visible top-level windows of other processes
 *                                  with their controls and tree items
 *   procs                          running processes: id, executable
 *   argv FILE                      CommandLineToArgvW on each line of FILE
 * Output is UTF-8, fields separated by tabs; in texts a carriage return, line
 * feed or tab is written as \r, \n or \t.
 */
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>
#include <tlhelp32.h>
#include <shlobj.h>
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

/* The spooler's record of a package in the driver store, as Windows keeps
 * it, and the installer folder's INF at the stored path. */
static int add_package(const wchar_t* stored) {
  wchar_t path[1024], folder[MAX_PATH], multi[MAX_PATH + 2] = {0};
  const wchar_t* key;
  wcscpy(folder, stored);
  *wcsrchr(folder, L'\\') = 0;
  key = wcsrchr(folder, L'\\') + 1;
  wcscpy(multi, stored);
  swprintf(path, 1024, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages\\%ls", key);
  if (SHCreateDirectoryExW(NULL, folder, NULL) || !CopyFileW(L"C:\\Korvane\\korvv6.inf", stored, FALSE)) return fail("copy INF");
  HKEY h;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL)) return fail("package key");
  LONG r = RegSetValueExW(h, L"DriverStorePath", 0, REG_MULTI_SZ, (const BYTE*)multi, (DWORD)((wcslen(stored) + 2) * sizeof(wchar_t)));
  RegCloseKey(h);
  return r ? fail("DriverStorePath") : 0;
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

/* Device nodes of every class that carry a friendly name. */
static int devnodes(void) {
  HDEVINFO set = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_ALLCLASSES);
  SP_DEVINFO_DATA dev;
  wchar_t name[256];
  dev.cbSize = sizeof dev;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i)
    if (SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_FRIENDLYNAME, NULL, (BYTE*)name, sizeof name - 2, NULL))
      line(L"devnode", name, NULL, NULL);
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

static int procs(void) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  if (snap == INVALID_HANDLE_VALUE) return fail("CreateToolhelp32Snapshot");
  for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
    wchar_t pid[16];
    swprintf(pid, 16, L"%lu", entry.th32ProcessID);
    line(pid, entry.szExeFile, NULL, NULL);
  }
  CloseHandle(snap);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  const wchar_t* c = argc >= 2 ? argv[1] : L"";
  /* Lines end in a bare line feed; rectangles in the screen's pixels at any
   * scale (a program that is not DPI aware would get them scaled to 96 DPI). */
  _setmode(_fileno(stdout), _O_BINARY);
  SetProcessDPIAware();
  if (argc >= 5 && !wcscmp(c, L"plug-usb")) return plug_usb(argv[2], argv[3], (DWORD)_wtoi(argv[4]));
  if (argc >= 3 && !wcscmp(c, L"add-port")) return add_port(argv[2]);
  if (argc >= 4 && !wcscmp(c, L"add-driver")) return add_driver(argv[2], argv[3]);
  if (argc >= 5 && !wcscmp(c, L"add-queue")) return add_queue(argv[2], argv[3], argv[4]);
  if (argc >= 3 && !wcscmp(c, L"add-package")) return add_package(argv[2]);
  if (argc >= 3 && !wcscmp(c, L"add-printqueue-device")) return add_printqueue_device(argv[2]);
  if (!wcscmp(c, L"devnodes")) return devnodes();
  if (argc >= 3 && !wcscmp(c, L"argv")) return argv_file(argv[2]);
  if (!wcscmp(c, L"windows")) return windows(argc >= 3 ? argv[2] : NULL);
  if (!wcscmp(c, L"procs")) return procs();
  fputs("usage: see the head of korvfix.c\n", stderr);
  return 2;
}
