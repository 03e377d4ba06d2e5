// The program's start and its five run modes.
//
// A path that does not fit its buffer, a copy that fails and a run that ends
// in the middle of a spooler restart are met as follows:
//  - A "-u" folder of 260 code units or more is refused (see
//    app/command_line.h): the uninstaller finally recycles InstallDir, so a
//    cut folder must never become InstallDir.
//  - A module path that does not fit its 260-unit buffer counts as no path
//    (InstallDir stays empty): a cut path could name a parent folder of the
//    real one, which the hand-off and the installation would then use.
//  - The relaunch starts the temporary copy only when the temporary folder
//    fitted its buffer, the temporary file was made and the copy succeeded;
//    otherwise the child would be an empty file or a path we never made. The
//    mutex is released and closed either way, and the exit code stays 0.
//  - The relaunch holds its temporary copy open, for reading only, until the
//    child has started, and the relaunched copy has the system delete it at
//    its next start.
//  - A run that ends while the spooler stands stopped by us (the window
//    closed during a restart) starts it again before the process ends.
#include "app/entry_point.h"

#include "app/command_line.h"
#include "app/installer_window.h"
#include "common/globals.h"
#include "common/path_split.h"
#include "common/resource_ids.h"
#include "common/text_util.h"
#include "install/autoinstall_worker.h"
#include "platform/kernel.h"
#include "system/module_path.h"
#include "system/runtime_deploy.h"
#include "system/service_control.h"
#include "uninstall/inventory.h"

namespace korv {

namespace {

constexpr const char16_t* kMutexName = u"TAPWISEINSTALLERFORPRINTERDRIVER";

// Lets the next instance (the child this one starts, or a later start) take
// the single-instance mutex.
void ReleaseSingleInstance(os::KernelHandle& mutex) {
  if (!mutex) return;
  os::ReleaseMutex(mutex);
  mutex.reset();
}

// The end of a run that may have stopped the spooler. A window closes
// wherever its worker thread is, and the process ends with it: when that was
// in the middle of a spooler restart, the spooler is started here, before
// the next instance may run.
void EndRun(os::KernelHandle& mutex) {
  RestartSpoolerStoppedByUs();
  ReleaseSingleInstance(mutex);
}

void StartChild(const char16_t* commandLine) {
  os::ProcessStart child = os::CreateProcessW(nullptr, commandLine);
  child.process.reset();
  child.thread.reset();
}

// Copies the running executable to a new file in the temporary folder and
// starts it there in uninstall mode for InstallDir, so that the uninstaller
// does not run from the folder it is about to recycle.
void RelaunchFromTemporaryFolder(const FixedText<260>& modulePath, os::KernelHandle& mutex) {
  FixedText<256> tempFolder;
  const Dword folderLength =
      os::GetTempPathW(static_cast<Dword>(tempFolder.capacity()), tempFolder.data());
  bool ready = folderLength != 0 && folderLength < tempFolder.capacity();

  FixedText<260> tempFile;
  ready = ready && os::GetTempFileNameW(tempFolder.c_str(), u"unins", 0, tempFile.data()) != 0;
  ready = ready && os::CopyFileW(modulePath.c_str(), tempFile.c_str(), false);
  // The copy lies in the user's own temporary folder, where any program of
  // the user could put another file in its place, which the child would then
  // run with administrator rights. Held open (others may only read it) from
  // now until the child runs; a copy that cannot be held is not started.
  os::KernelHandle held;
  if (ready) held = os::CreateFileW(tempFile.c_str());
  ready = ready && static_cast<bool>(held);

  // No closing quote after the folder: InstallDir ends with a backslash,
  // and a backslash before a quote would make it a literal quote in the
  // child's arguments. Unterminated, the quoted folder runs to the end of
  // the line and arrives whole.
  FixedText<1024> childLine;
  childLine.format(u"\"%ws\" -u \"%ws", tempFile.c_str(), InstallDir.c_str());

  ReleaseSingleInstance(mutex);
  if (ready) StartChild(childLine.c_str());
  held.reset();
}

// The relaunched copy ("uniXXXX.tmp" in the temporary folder) cannot delete
// the file it runs from: the system deletes it when it next starts. Any
// other program started with "-u" is left alone.
void ScheduleDeletionOfTemporaryCopy() {
  const FixedText<260> modulePath = ModulePath();
  FixedText<256> tempFolder;
  const Dword folderLength = os::GetTempPathW(static_cast<Dword>(tempFolder.capacity()), tempFolder.data());
  if (modulePath.empty() || folderLength == 0 || folderLength >= tempFolder.capacity()) return;
  PathPieces pieces;
  if (!SplitPathChecked(modulePath.c_str(), &pieces)) return;
  FixedText<260> folder;
  folder.format(u"%ws%ws", pieces.drive.c_str(), pieces.folder.c_str());
  if (CompareNoCase(folder.c_str(), tempFolder.c_str()) != 0 || CompareNoCase(pieces.extension.c_str(), u".tmp") != 0) {
    return;
  }
  os::MoveFileExW(modulePath.c_str(), nullptr, os::MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Starts the uninstaller copy of the installed family's folder, which in
// turn relaunches itself from the temporary folder.
void HandOffToInstalledUninstaller(os::KernelHandle& mutex) {
  FixedText<1024> childLine;
  childLine.format(u"\"%ws%ws\"", InstallDir.c_str(), u"unins000.exe");
  ReleaseSingleInstance(mutex);
  // Without InstallDir (the module path could not be had whole) the line
  // would name a bare "unins000.exe", which the system looks for in the
  // current folder and along the search path: nothing is started.
  if (!InstallDir.empty()) StartChild(childLine.c_str());
}

}  // namespace

int RunProgram(os::Instance instance, const char16_t* commandLine) {
  AppInstance = instance;
  os::LoadIconW(AppInstance, IDI_APP);

  os::KernelHandle mutex = os::CreateMutexW(kMutexName);
  if (os::GetLastError() == err::AlreadyExists) return 0;

  DeployRuntimeLibrary(u"vcomp140.dll");

  const StartOptions options = ReadCommandLine(commandLine);
  if (options.uninstall) InstallDir.assign(options.folder.view());

  StartServiceAndWait(u"Spooler", 10000);

  if (options.uninstall) {
    ScheduleDeletionOfTemporaryCopy();
    ShowUninstallWindow();
    EndRun(mutex);
    return 0;
  }

  const FixedText<260> modulePath = ModulePath();
  PathPieces pieces;
  SplitPathChecked(modulePath.c_str(), &pieces);
  InstallDir.format(u"%ws%ws", pieces.drive.c_str(), pieces.folder.c_str());

  if (pieces.name == u"unins000") {
    RelaunchFromTemporaryFolder(modulePath, mutex);
    return 0;
  }

  if (IsInstallationPresent()) {
    HandOffToInstalledUninstaller(mutex);
    return 0;
  }

  if (options.silent) {
    SilentInstallView silent;
    AutoInstall(silent);
  } else {
    os::DialogBoxParamW(AppInstance, IDD_INSTALLER, InstallerDialogProc, 0);
  }
  EndRun(mutex);
  return 0;
}

}  // namespace korv
