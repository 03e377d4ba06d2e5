#include "uninstall/removal.h"

#include <string_view>

#include "common/globals.h"
#include "common/resource_ids.h"
#include "common/strsafe.h"
#include "common/text_util.h"
#include "common/trace.h"
#include "common/window_look.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "system/native_system_folder.h"
#include "system/service_control.h"
#include "uninstall/inventory.h"
#include "uninstall/uninstall_dialog.h"

namespace korv {

namespace {

constexpr Dword kQueuePauseMs = 300;
constexpr Dword kDriverPauseMs = 300;
constexpr int kDriverAttempts = 10;
constexpr int kPackageAttempts = 5;
constexpr int kFileAttempts = 5;
constexpr Dword kRetryPauseMs = 1000;
constexpr unsigned kSpoolerTimeoutMs = 10000;
constexpr int kTextUnits = 1024;

// The removal thread's own texts: loaded and formatted in its buffers, never
// in those of the dialog thread.
class StatusTexts {
 public:
  void Removed(FixedText<256>& status) {
    Load(IDS_STATUS_REMOVED);
    status.assign(format_);
  }
  // Text 113 with the error code; the languages show it in decimal or in
  // hexadecimal, from the same integer.
  void Failed(FixedText<256>& status, Dword code) {
    Load(IDS_STATUS_FAILED);
    wsprintfW(status.data(), status.capacity(), format_, static_cast<int>(code));
  }
  const char16_t* Load(Dword id) {
    format_[0] = 0;
    os::LoadStringW(AppInstance, id, format_, kTextUnits);
    return format_;
  }

 private:
  char16_t format_[kTextUnits] = {};
};

void EnableButtons(Hwnd dialog, bool enable) {
  os::EnableWindow(os::GetDlgItem(dialog, IDC_REMOVE), enable);
  os::EnableWindow(os::GetDlgItem(dialog, IDC_CLOSE), enable);
}

// Removes the queues of one driver; returns the number that failed.
int RemoveQueues(DriverRecord& driver, StatusTexts& texts) {
  int failures = 0;
  for (QueueRecord* queue = driver.Queues; queue != nullptr && queue->Printer != nullptr;
       queue = queue->Next) {
    if (queue->Removed != 0) continue;
    Dword error = 0;
    queue->Removed = static_cast<Dword>(DeletePrintQueue(queue->Printer->pPrinterName.c_str(), &error));
    if (queue->Removed != 0) {
      texts.Removed(queue->Status);
      --driver.QueueCount;
      os::Sleep(kQueuePauseMs);
    } else {
      texts.Failed(queue->Status, error);
      ++failures;
    }
  }
  return failures;
}

// Deletes one driver once nothing uses it; returns 1 when it failed. A
// driver that still has queues keeps its status: their failure was counted.
int RemoveDriver(PackageRecord& package, DriverRecord& driver, StatusTexts& texts) {
  if (driver.QueueCount != 0 || driver.Details == nullptr || driver.Removed != 0) return 0;
  Dword error{};  // set by every failed attempt
  for (int attempt = 0; attempt < kDriverAttempts; ++attempt) {
    driver.Removed = static_cast<Dword>(DeleteDriver(*driver.Details));
    if (driver.Removed != 0) break;
    error = os::GetLastError();
    os::Sleep(kRetryPauseMs);
  }
  if (driver.Removed != 0) {
    texts.Removed(driver.Status);
    --package.DriverCount;
    os::Sleep(kDriverPauseMs);
    return 0;
  }
  texts.Failed(driver.Status, error);
  return 1;
}

// Deletes one package once it has no drivers left; returns 1 when it failed.
// A record that names no package is never deleted and gets no status.
int RemovePackage(PackageRecord& package, StatusTexts& texts) {
  if (package.DriverCount != 0 || package.DriverStorePath.empty() || package.Removed != 0) return 0;
  HResult result = os::DeletePrinterDriverPackageW(package.DriverStorePath.c_str());
  // Windows lets go of an INF some time after its devices are gone.
  for (int call = 1; result == hr::InfInUseByDevices && call < kPackageAttempts; ++call) {
    os::Sleep(kRetryPauseMs);
    result = os::DeletePrinterDriverPackageW(package.DriverStorePath.c_str());
  }
  if (result == S_OK) {
    package.Removed = 1;
    texts.Removed(package.Status);
    return 0;
  }
  texts.Failed(package.Status, static_cast<Dword>(result));
  return 1;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsDriveRoot(std::u16string_view path) {
  return path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
         path[1] == u':' && IsSeparator(path[2]);
}

// Names a folder below its root: the number of components after the root
// that are plain names. -1 when a component is not ("." and "..", which
// Windows resolves, and wildcards, which the shell expands).
int FolderDepth(std::u16string_view rest) {
  int depth = 0;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSeparator(rest[i])) ++i;
    std::size_t start = i;
    while (i < rest.size() && !IsSeparator(rest[i])) ++i;
    std::u16string_view part = rest.substr(start, i - start);
    if (part.empty()) break;
    if (part.find_first_not_of(u". ") == std::u16string_view::npos) return -1;
    if (part.find_first_of(u"*?") != std::u16string_view::npos) return -1;
    ++depth;
  }
  return depth;
}

}  // namespace

bool IsInstallerFolder(const char16_t* folder) {
  const std::u16string_view path(folder != nullptr ? folder : u"", TextLength(folder));
  if (path.empty() || path.size() >= InstallDir.capacity()) return false;

  // Only an absolute path, and not its root: "C:\", "\\server\share\",
  // "\\?\C:\", "\\?\UNC\server\share\".
  std::u16string_view rest;
  int rootParts = 0;  // leading components that belong to the root
  if (IsDriveRoot(path)) {
    rest = path.substr(3);
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    rest = path.substr(2);
    if (rest.size() >= 2 && (rest[0] == u'?' || rest[0] == u'.') && IsSeparator(rest[1])) {
      rest = rest.substr(2);
      if (StartsWithNoCase(rest, u"UNC") && rest.size() >= 4 && IsSeparator(rest[3])) {
        rest = rest.substr(4);
        rootParts = 2;
      } else if (IsDriveRoot(rest)) {
        rest = rest.substr(3);
      } else {
        return false;
      }
    } else {
      rootParts = 2;
    }
  } else {
    return false;  // relative, or rooted on whatever the current drive is
  }
  const int depth = FolderDepth(rest);
  if (depth <= rootParts) return false;

  FixedText<272> inf;
  if (inf.format(u"%ws%ws", folder, IsSeparator(path.back()) ? u"korvv6.inf" : u"\\korvv6.inf") != S_OK) {
    return false;
  }
  return os::FileExists(inf.c_str());
}

Dword RemovalThread(void* argument) {
  Hwnd dialog = argument;
  StatusTexts texts;
  // An inventory that could not be taken whole hides installed components:
  // removing what it lists is fine, but the run must not end in "uninstalled",
  // delete the monitor and recycle the folder.
  int failures = InventoryIsComplete() ? 0 : 1;

  EnableButtons(dialog, false);
  Hwnd progress = os::GetDlgItem(dialog, IDC_PROGRESS);
  os::ShowWindow(progress, os::SW_SHOW);
  os::PostMessageW(progress, os::PBM_SETPOS, 20, 0);
  os::PostMessageW(progress, os::PBM_SETPOS, 30, 0);

  for (PackageRecord* package = InstalledPackages; package != nullptr; package = package->Next) {
    for (DriverRecord* driver = package->Drivers; driver != nullptr; driver = driver->Next) {
      failures += RemoveQueues(*driver, texts);
      os::PostMessageW(progress, os::PBM_SETPOS, 60, 0);
      failures += RemoveDriver(*package, *driver, texts);
    }
    os::PostMessageW(progress, os::PBM_SETPOS, 80, 0);
    failures += RemovePackage(*package, texts);
  }

  os::PostMessageW(progress, os::PBM_SETPOS, 100, 0);
  os::PostMessageW(dialog, WM_REFRESH_COMPONENTS, 0, 0);
  os::ShowWindow(progress, os::SW_HIDE);
  EnableButtons(dialog, true);

  if (failures != 0) {
    os::MessageBoxW(dialog, texts.Load(IDS_UNINSTALL_FAILED), nullptr, MessageBoxTypeFor(dialog));
  } else {
    DeleteSystemFile(u"korvmon.dll");
    FinishUninstall(dialog);
  }
  return 0;
}

int DeletePrintQueue(const char16_t* name, Dword* error) {
  int result = 0;
  Dword code = 0;
  os::PrinterHandle printer;
  if (os::OpenPrinterW(name, os::PRINTER_ALL_ACCESS, &printer)) {
    os::SetPrinterW(printer, nullptr, os::PRINTER_CONTROL_PURGE);
    result = os::DeletePrinter(printer) ? 1 : 0;
    if (result == 0) code = os::GetLastError();
    printer.reset();  // ClosePrinter
  } else {
    code = os::GetLastError();
    // A queue that no longer exists is as good as deleted.
    result = code == err::InvalidPrinterName ? 1 : 0;
  }
  RemovePrintQueueDevice(name);
  if (result != 0) code = 0;
  if (error != nullptr) *error = code;
  os::SetLastError(code);
  return result;
}

int RemovePrintQueueDevice(const char16_t* name) {
  if (name == nullptr) return 0;
  std::vector<os::Guid> classes;
  if (!os::SetupDiClassGuidsFromNameW(u"PrintQueue", &classes)) return 0;
  // With DIGCF_ALLCLASSES the set holds the devices of every class.
  os::DevInfoHandle devices = os::SetupDiGetClassDevsExW(classes.front(), os::DIGCF_ALLCLASSES);
  if (!devices) return 0;

  const std::u16string_view wanted(name, TextLength(name));
  constexpr Dword kNameUnits = 255;
  int result = 0;
  os::DeviceInfoData device;
  for (Dword index = 0; os::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    char16_t friendly[kNameUnits] = {};
    os::SetupDiGetDeviceFriendlyNameW(devices, device, friendly, kNameUnits);
    friendly[kNameUnits - 1] = 0;
    if (std::u16string_view(friendly) == wanted) {
      result = os::SetupDiRemoveDevice(devices, device) ? 1 : 0;
    }
  }
  return result;
}

int DeleteDriver(const os::DriverInfo8& details) {
  if (!details.pMonitorName.empty()) os::DeleteMonitorW(details.pMonitorName.c_str());
  bool deleted = os::DeletePrinterDriverExW(details.pName.c_str(), os::DPD_DELETE_UNUSED_FILES, 0);
  if (!deleted && os::GetLastError() == err::PrinterDriverInUse) {
    // A restarted spooler lets go of a driver it still held.
    CycleSpooler();
    deleted = os::DeletePrinterDriverExW(details.pName.c_str(), os::DPD_DELETE_UNUSED_FILES, 0);
  }
  if (deleted) return 1;
  return os::GetLastError() == err::UnknownPrinterDriver ? 1 : 0;
}

void DeleteSystemFile(const char16_t* fileName) {
  if (StopServiceAndWait(u"Spooler", kSpoolerTimeoutMs) == 0) return;
  FixedText<260> systemFolder;
  const Dword length = os::GetSystemDirectoryW(systemFolder.data(), static_cast<Dword>(systemFolder.capacity()));
  FixedText<260> path;
  // Without the folder the path would be "\korvmon.dll" at the root of the
  // current drive, and a cut one would name another file of the folder:
  // neither is deleted. The spooler is started again all the same.
  const bool whole = length != 0 && length < systemFolder.capacity() &&
                     path.format(u"%ws\\%ws", systemFolder.c_str(), fileName) == S_OK;
  {
    // The monitor was put into the native system folder; it goes from there.
    const NativeSystemFolderScope native;
    for (int attempt = 0; whole && attempt < kFileAttempts; ++attempt) {
      if (os::DeleteFileW(path.c_str()) || os::GetLastError() == err::FileNotFound) break;
      os::Sleep(kRetryPauseMs);
    }
  }
  StartServiceAndWait(u"Spooler", kSpoolerTimeoutMs);
}

void FinishUninstall(Hwnd dialog) {
  if (IsInstallerFolder(InstallDir.c_str())) {
    os::SHChangeNotify(os::SHCNE_DELETE, os::SHCNF_PATHW, InstallDir.c_str(), InstallDir.c_str());
    // The shell takes a list of paths ended by an empty one: room for the
    // second terminator after a folder that fills InstallDir.
    constexpr std::size_t kFolderUnits = decltype(InstallDir)::capacity();
    char16_t from[kFolderUnits + 1] = {};
    CopyText(from, kFolderUnits, InstallDir.c_str());
    // The folder arrives with its trailing backslash (the relaunch passes it
    // so); the shell names a folder without one, and refuses to recycle
    // "C:\Korvane\" where it takes "C:\Korvane". IsInstallerFolder has
    // ruled out roots, where the backslash belongs to the name.
    std::size_t length = TextLength(from);
    if (length > 0 && (from[length - 1] == u'\\' || from[length - 1] == u'/')) from[length - 1] = 0;
    os::SHFileOperationW(dialog, os::FO_DELETE, from, os::FOF_ALLOWUNDO);
  } else {
    trace("Uninstall: %ws is not the installer folder, left in place.", InstallDir.c_str());
  }
  char16_t caption[25] = {};
  os::LoadStringW(AppInstance, IDS_MESSAGE_CAPTION, caption, 25);
  char16_t text[kTextUnits] = {};
  os::LoadStringW(AppInstance, IDS_UNINSTALLED, text, kTextUnits);
  os::MessageBoxW(dialog, text, caption, MessageBoxTypeFor(dialog));
  os::PostMessageW(dialog, os::WM_COMMAND, IDC_CLOSE, 0);
}

}  // namespace korv
