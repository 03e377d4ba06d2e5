/* The Wine runner's hands in a prefix (tests/wine/run.sh): lays out a
 * scenario's machine (plug-usb INSTANCE DESCRIPTION PORTNUMBER, add-port NAME,
 * add-driver NAME INSTALLDIR, add-queue NAME PORT DRIVER, add-package
 * STOREDINF, add-printqueue-device NAME) and reads back what a person would
 * see (windows: the visible top-level windows of other processes with their
 * controls and tree items; procs; devnodes; argv FILE: CommandLineToArgvW on
 * each line). Output is UTF-8, fields separated by tabs; in texts a carriage
 * return, line feed or tab is written as \r, \n or \t.
 */
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winspool.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>

static const GUID kUsbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

static void put(const wchar_t* format, ...) {
  wchar_t text[8192];
  char utf8[3 * 8192];
  va_list args;
  va_start(args, format);
  int n = vswprintf(text, 8192, format, args);
  va_end(args);
  fwrite(utf8, 1, (size_t)WideCharToMultiByte(CP_UTF8, 0, text, n > 0 ? n : 0, utf8, sizeof utf8, NULL, NULL), stdout);
}

/* A text as one field: line breaks and tabs spelled out. */
static const wchar_t* esc(const wchar_t* text) {
  static wchar_t out[2][8192];
  static int k;
  wchar_t* o = out[k ^= 1];
  size_t n = 0;
  for (; *text && n < 8190; ++text) {
    if (*text == L'\r' || *text == L'\n' || *text == L'\t') o[n++] = L'\\';
    o[n++] = *text == L'\r' ? L'r' : *text == L'\n' ? L'n' : *text == L'\t' ? L't' : *text;
  }
  o[n] = 0;
  return o;
}

static int fail(const char* what) {
  fprintf(stderr, "korvfix: %s failed: %lu\n", what, GetLastError());
  return 1;
}

static int set_value(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key;
  LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
  if (!r) r = RegSetValueExW(key, name, 0, type, (const BYTE*)data, size), RegCloseKey(key);
  SetLastError((DWORD)r);
  return r != 0;
}

/* A USB printer as the class driver leaves it: a device with the USB printer
 * interface, marked present (Wine lists an interface only when its
 * "#\Control" key has Linked=1), and the interface's "Device Parameters". */
static int plug_usb(const wchar_t* instance, const wchar_t* description, DWORD port) {
  wchar_t id[512], key[1024];
  BYTE buffer[4096];
  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_W*)buffer;
  SP_DEVINFO_DATA dev = {sizeof dev};
  SP_DEVICE_INTERFACE_DATA iface = {sizeof iface};
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kUsbPrint, NULL);
  DWORD linked = 1;
  swprintf(id, 512, L"USB\\%ls", instance);
  detail->cbSize = sizeof *detail;
  if (!SetupDiCreateDeviceInfoW(set, id, &kUsbPrint, NULL, NULL, 0, &dev) ||
      !SetupDiRegisterDeviceInfo(set, &dev, 0, NULL, NULL, NULL) ||
      !SetupDiCreateDeviceInterfaceW(set, &dev, &kUsbPrint, NULL, 0, &iface) ||
      !SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, sizeof buffer, NULL, NULL))
    return fail("the USB device");
  /* The interface's key: its device path with ##?# for \\?\ */
  size_t n = (size_t)swprintf(key, 1024, L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                              L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\##?#%ls\\#\\", detail->DevicePath + 4);
  wcscpy(key + n, L"Control");
  if (set_value(key, L"Linked", REG_DWORD, &linked, 4)) return fail("Linked");
  wcscpy(key + n, L"Device Parameters");
  if (set_value(key, L"Port Description", REG_SZ, description, (DWORD)(wcslen(description) + 1) * 2) ||
      set_value(key, L"Port Number", REG_DWORD, &port, 4))
    return fail("Device Parameters");
  return 0;
}

/* The family's driver as an earlier installation left it: its x64 files in
 * the driver directory, registered by their paths there. */
static int add_driver(const wchar_t* name, const wchar_t* dir) {
  static const wchar_t* from[] = {L"amd64\\korvdrv6.dll", L"amd64\\korvdrv6ui.dll", L"dat\\korvdrv6.dat"};
  wchar_t driverDir[MAX_PATH], to[3][MAX_PATH], source[MAX_PATH];
  DWORD need = 0;
  if (!GetPrinterDriverDirectoryW(NULL, NULL, 1, (BYTE*)driverDir, sizeof driverDir, &need)) return fail("driver directory");
  for (int i = 0; i < 3; ++i) {
    swprintf(source, MAX_PATH, L"%ls\\%ls", dir, from[i]);
    swprintf(to[i], MAX_PATH, L"%ls\\%ls", driverDir, wcschr(from[i], L'\\') + 1);
    if (!CopyFileW(source, to[i], FALSE)) return fail("CopyFileW");
  }
  DRIVER_INFO_3W info = {3, (wchar_t*)name, NULL, to[0], to[2], to[1]};
  info.pDefaultDataType = L"RAW";
  return AddPrinterDriverExW(NULL, 3, (BYTE*)&info, APD_COPY_NEW_FILES) ? 0 : fail("AddPrinterDriverExW");
}

static int add_queue(const wchar_t* name, const wchar_t* port, const wchar_t* driver) {
  PRINTER_INFO_2W info = {NULL, (wchar_t*)name, NULL, (wchar_t*)port, (wchar_t*)driver};
  info.pPrintProcessor = L"WinPrint";
  info.pDatatype = L"RAW";
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE h = AddPrinterW(NULL, 2, (BYTE*)&info);
  return h && ClosePrinter(h) ? 0 : fail("AddPrinterW");
}

/* The spooler's record of a package in the driver store, as Windows keeps
 * it, and the installer folder's INF at the stored path. */
static int add_package(const wchar_t* stored) {
  wchar_t path[1024], folder[MAX_PATH], multi[MAX_PATH + 2] = {0};
  wcscpy(folder, stored);
  *wcsrchr(folder, L'\\') = 0;
  wcscpy(multi, stored);
  swprintf(path, 1024, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\"
           L"DriverPackages\\%ls", wcsrchr(folder, L'\\') + 1);
  if (SHCreateDirectoryExW(NULL, folder, NULL) || !CopyFileW(L"C:\\Korvane\\korvv6.inf", stored, FALSE))
    return fail("copy INF");
  if (set_value(path, L"DriverStorePath", REG_MULTI_SZ, multi, (DWORD)(wcslen(stored) + 2) * 2)) return fail("record");
  return 0;
}

/* A device node of the PrintQueue class (registered the way Windows has it
 * where Wine lacks the class) with a friendly name. */
static int add_printqueue_device(const wchar_t* friendly) {
  GUID guid = {0x1ed2bbf9, 0x11f0, 0x4084, {0xb2, 0x1f, 0xad, 0x83, 0xa8, 0xe6, 0xdc, 0xdc}};
  DWORD count = 0;
  SP_DEVINFO_DATA dev = {sizeof dev};
  wchar_t id[64];
  if (!SetupDiClassGuidsFromNameW(L"PrintQueue", &guid, 1, &count) || !count)
    set_value(L"SYSTEM\\CurrentControlSet\\Control\\Class\\{1ed2bbf9-11f0-4084-b21f-ad83a8e6dcdc}", L"Class", REG_SZ,
              L"PrintQueue", sizeof L"PrintQueue");
  HDEVINFO set = SetupDiCreateDeviceInfoList(&guid, NULL);
  swprintf(id, 64, L"SWD\\PRINTENUM\\KORVTEST_%lu", GetTickCount());
  if (!SetupDiCreateDeviceInfoW(set, id, &guid, NULL, NULL, 0, &dev) ||
      !SetupDiRegisterDeviceInfo(set, &dev, 0, NULL, NULL, NULL) ||
      !SetupDiSetDeviceRegistryPropertyW(set, &dev, SPDRP_FRIENDLYNAME, (const BYTE*)friendly,
                                         (DWORD)(wcslen(friendly) + 1) * 2))
    return fail("the PrintQueue device");
  return 0;
}

static int devnodes(void) {
  HDEVINFO set = SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_ALLCLASSES);
  SP_DEVINFO_DATA dev = {sizeof dev};
  wchar_t name[256];
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i)
    if (SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_FRIENDLYNAME, NULL, (BYTE*)name, sizeof name - 2, NULL))
      put(L"devnode\t%ls\n", esc(name));
  return 0;
}

static int procs(void) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {sizeof entry};
  for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
    put(L"%lu\t%ls\n", entry.th32ProcessID, entry.szExeFile);
  return 0;
}

/* Each line of FILE (UTF-8) through CommandLineToArgvW, the arguments in
 * brackets. */
static int argv_file(const wchar_t* file) {
  FILE* in = _wfopen(file, L"rb");
  char text[4096];
  wchar_t wide[4096];
  int argc;
  if (!in) return fail("open");
  while (fgets(text, sizeof text, in)) {
    text[strcspn(text, "\r\n")] = 0;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 4096);
    LPWSTR* args = CommandLineToArgvW(wide, &argc);
    for (int i = 0; args && i < argc; ++i) put(i ? L" [%ls]" : L"[%ls]", args[i]);
    put(args ? L"\n" : L"null\n");
    LocalFree(args);
  }
  return 0;
}

static void put_rect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  put(L"\t%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
}

/* WM_GETTEXT crosses processes; a picture's text is its image's id. */
static void put_text(HWND window) {
  wchar_t text[4096] = {0};
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
  text[4095] = 0;
  if (text[0] == 0xFFFF) put(L"#%u", (unsigned)text[1]);
  else put(L"%ls", esc(text));
}

/* Tree items live in the owner's address space: TVM_GETITEMW needs its
 * TVITEMW and text buffer there. Depth first. */
static void put_tree(HWND tree) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tree, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  BYTE* remote = process ? (BYTE*)VirtualAllocEx(process, NULL, 8192, MEM_COMMIT, PAGE_READWRITE) : NULL;
  HTREEITEM item = remote ? (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0) : NULL, stack[16], next;
  int depth = 0;
  while (item) {
    TVITEMW tv = {TVIF_TEXT | TVIF_STATE | TVIF_HANDLE, item, 0, TVIS_EXPANDED, (LPWSTR)(remote + 256), 2047};
    wchar_t text[2048] = {0};
    WriteProcessMemory(process, remote, &tv, sizeof tv, NULL);
    WriteProcessMemory(process, remote + 256, text, 2, NULL);
    SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)remote);
    ReadProcessMemory(process, remote, &tv, sizeof tv, NULL);
    ReadProcessMemory(process, remote + 256, text, sizeof text - 2, NULL);
    put(L"item\t%d\t%ls\t%ls\n", depth, (tv.state & TVIS_EXPANDED) ? L"expanded" : L"-", esc(text));
    next = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)item);
    if (next && depth < 15) {
      stack[depth++] = item;
      item = next;
      continue;
    }
    while (!(next = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item)) && depth > 0)
      item = stack[--depth];
    item = next;
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  if (process) CloseHandle(process);
}

/* window TITLE RECT ex=EXSTYLE, then per control: control ID visible|hidden
 * enabled|disabled RECT TEXT (pos=N for a progress bar). */
static BOOL CALLBACK put_window(HWND window, LPARAM unused) {
  DWORD pid = 0;
  wchar_t cls[128];
  (void)unused;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  put(L"window\t");
  put_text(window);
  put_rect(window);
  put(L"\tex=%08lx\n", (unsigned long)GetWindowLongW(window, GWL_EXSTYLE));
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    GetClassNameW(child, cls, 128);
    put(L"control\t%d\t%ls\t%ls", (int)(short)GetDlgCtrlID(child), IsWindowVisible(child) ? L"visible" : L"hidden",
        IsWindowEnabled(child) ? L"enabled" : L"disabled");
    put_rect(child);
    put(L"\t");
    if (!_wcsicmp(cls, PROGRESS_CLASSW)) put(L"pos=%d", (int)SendMessageW(child, PBM_GETPOS, 0, 0));
    else put_text(child);
    put(L"\n");
    if (!_wcsicmp(cls, WC_TREEVIEWW)) put_tree(child);
  }
  return TRUE;
}

int wmain(int argc, wchar_t** argv) {
  const wchar_t* c = argc >= 2 ? argv[1] : L"";
  /* Lines end in a bare line feed; rectangles in the screen's pixels at any
   * scale (a program that is not DPI aware would get them scaled to 96 DPI). */
  _setmode(_fileno(stdout), _O_BINARY);
  SetProcessDPIAware();
  if (argc >= 5 && !wcscmp(c, L"plug-usb")) return plug_usb(argv[2], argv[3], (DWORD)_wtoi(argv[4]));
  if (argc >= 3 && !wcscmp(c, L"add-port"))
    return set_value(L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports", argv[2], REG_SZ, L"", 2);
  if (argc >= 4 && !wcscmp(c, L"add-driver")) return add_driver(argv[2], argv[3]);
  if (argc >= 5 && !wcscmp(c, L"add-queue")) return add_queue(argv[2], argv[3], argv[4]);
  if (argc >= 3 && !wcscmp(c, L"add-package")) return add_package(argv[2]);
  if (argc >= 3 && !wcscmp(c, L"add-printqueue-device")) return add_printqueue_device(argv[2]);
  if (!wcscmp(c, L"devnodes")) return devnodes();
  if (argc >= 3 && !wcscmp(c, L"argv")) return argv_file(argv[2]);
  if (!wcscmp(c, L"windows")) return !EnumWindows(put_window, 0);
  if (!wcscmp(c, L"procs")) return procs();
  fputs("usage: see the head of korvfix.c\n", stderr);
  return 2;
}
