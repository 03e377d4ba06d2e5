#include "install/file_staging.h"

#include <string_view>

#include "common/fixed_text.h"
#include "common/globals.h"
#include "common/path_split.h"
#include "common/trace.h"
#include "install/driver_files.h"
#include "platform/kernel.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "system/native_system_folder.h"
#include "system/processor_build.h"
#include "system/service_control.h"

namespace korv {

namespace {

using Path = FixedText<260>;

// The installer folder's subfolder with the builds for the machine's real
// processor (a 32-bit installer on a 64-bit system takes the 64-bit build).
const char16_t* ProcessorFolder() {
  const ProcessorBuild* build = BuildFor(os::GetNativeProcessorArchitecture());
  return build != nullptr ? build->folder : nullptr;
}

bool GetDriverDirectory(Path* directory) {
  if (!os::GetPrinterDriverDirectoryW(directory->data(), static_cast<Dword>(directory->capacity()))) {
    return false;
  }
  directory->terminate_last();
  return !directory->empty();
}

// InstallDir\<subfolder>\<fileName>, with exactly one separator between the
// pieces whether or not InstallDir ends with one. False, and nothing is to be
// copied, without InstallDir (the path would start at the root of the current
// drive) or when the path does not fit: a cut path names another file, and
// what is copied here is loaded by the spooler.
bool FormatSourcePath(Path* path, const char16_t* subfolder, const char16_t* fileName) {
  const std::u16string_view dir = InstallDir.view();
  if (dir.empty()) return false;
  const bool separated = dir.back() == u'\\' || dir.back() == u'/';
  return path->format(separated ? u"%ws%ws\\%ws" : u"%ws\\%ws\\%ws", InstallDir.c_str(), subfolder, fileName) ==
         S_OK;
}

bool IsMonitorFile(const char16_t* fileName) {
  return fileName != nullptr && std::u16string_view(fileName) == kMonitorFile;
}

}  // namespace

int StageArchFile(const char16_t* fileName) {
  const char16_t* processor = ProcessorFolder();
  if (processor == nullptr) return 0;
  Path directory;
  if (!GetDriverDirectory(&directory)) return 0;

  Path target;
  Path source;
  if (target.format(u"%ws\\%ws", directory.c_str(), fileName) != S_OK ||
      !FormatSourcePath(&source, processor, fileName)) {
    return 0;
  }

  // Deleting first lets a file the spooler no longer holds be replaced even
  // where overwriting it would not be allowed; a failure is only reported.
  bool done = os::DeleteFileW(target.c_str());
  Dword error = os::GetLastError();
  trace("Remove file:%ws, %d, errcode:%d.", target.c_str(), done ? 1 : 0, static_cast<int>(error));

  const bool copied = os::CopyFileW(source.c_str(), target.c_str(), false);
  error = os::GetLastError();
  trace("CopyFile file:%ws to %ws, %d, errcode:%d.", source.c_str(), target.c_str(), copied ? 1 : 0,
        static_cast<int>(error));

  // The spooler loads the language monitor from the system folder when it
  // starts, and holds it while it runs: replace it there with the spooler
  // stopped, whatever became of the copy above.
  if (IsMonitorFile(fileName)) RestartSpooler(CopyToSystemFolder, source.c_str());

  if (!copied) {
    // The target is in use: have the system put the file in place when it
    // next starts.
    return os::MoveFileExW(source.c_str(), target.c_str(), os::MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
  }
  return 1;
}

int StageDataFile(const char16_t* fileName) {
  Path directory;
  if (!GetDriverDirectory(&directory)) return 0;

  Path target;
  Path source;
  if (target.format(u"%ws\\%ws", directory.c_str(), fileName) != S_OK ||
      !FormatSourcePath(&source, u"dat", fileName)) {
    return 0;
  }

  os::DeleteFileW(target.c_str());
  const bool copied = os::CopyFileW(source.c_str(), target.c_str(), false);
  const Dword error = os::GetLastError();
  trace("CopyFile file:%ws to %ws, %d, errcode:%d.", source.c_str(), target.c_str(), copied ? 1 : 0,
        static_cast<int>(error));
  return copied ? 1 : 0;
}

int CopyToSystemFolder(const char16_t* path) {
  Path systemFolder;
  const Dword length = os::GetSystemDirectoryW(systemFolder.data(), static_cast<Dword>(systemFolder.capacity()));
  // No folder name, no copy: "\korvmon.dll" would land at the drive's root.
  if (length == 0 || length >= systemFolder.capacity()) return 0;

  const SplitPath parts = SplitPathOf(path);
  Path target;
  if (target.format(u"%ws\\%ws%ws", systemFolder.c_str(), parts.name.c_str(), parts.extension.c_str()) != S_OK) {
    return 0;
  }
  // The 64-bit spooler loads the monitor from the native system folder.
  const NativeSystemFolderScope native;
  return os::CopyFileW(path, target.c_str(), false) ? 1 : 0;
}

}  // namespace korv
