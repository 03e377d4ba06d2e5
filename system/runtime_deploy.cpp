#include "system/runtime_deploy.h"

#include "common/fixed_text.h"
#include "platform/kernel.h"
#include "system/module_path.h"
#include "system/native_system_folder.h"
#include "system/processor_build.h"

namespace korv {

namespace {

constexpr int kCopyAttempts = 3;
constexpr Dword kCopyRetryPauseMs = 1000;

// Error codes are written in lower-case hexadecimal digits without leading
// zeros ("0x2", "0x4c7"), the way the C++ stream formatting does by default,
// so that the lines read like other tools' debugger output.
Text Number(const char16_t* format, unsigned value) {
  FixedText<12> digits;  // "4294967295" and "ffffffff" fit
  digits.format(format, value);
  return Text(digits.view());
}

}  // namespace

Text GetProcessorArchName() {
  const ProcessorBuild* build = BuildFor(os::GetNativeProcessorArchitecture());
  return build != nullptr ? Text(build->folder) : Text();
}

Text GetExecutableFolder() {
  Text folder(ModulePath().view());
  auto separator = folder.find_last_of(u"\\/");
  if (separator != Text::npos) folder.resize(separator);
  return folder;
}

bool CopyFileWithRetry(const Text& source, const Text& target, bool overwrite) {
  for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
    if (os::CopyFileW(source.c_str(), target.c_str(), !overwrite)) {
      const Text line = u"Successfully copied: " + source + u" to " + target;
      os::OutputDebugStringW(line.c_str());
      return true;
    }
    // The last failure is silent and does not wait: nobody retries after it.
    if (attempt == kCopyAttempts) break;
    const Dword error = os::GetLastError();
    const Text line = u"Copy attempt " + Number(u"%u", static_cast<unsigned>(attempt)) + u" failed: " +
                      source + u" to " + target + u", error: 0x" + Number(u"%x", error);
    os::OutputDebugStringW(line.c_str());
    os::Sleep(kCopyRetryPauseMs);
  }
  return false;
}

void DeployRuntimeLibrary(const char16_t* fileName) {
  FixedText<260> systemFolder;
  // A result of 0 is a failure; one of the buffer's size or more means the
  // folder did not fit and the buffer holds nothing: either way there is no
  // destination to copy to.
  const Dword length = os::GetSystemDirectoryW(systemFolder.data(), static_cast<Dword>(systemFolder.capacity()));
  if (length == 0 || length >= systemFolder.capacity()) return;

  // Without the executable's folder the source would be "\<processor>\<file>"
  // at the root of the current drive, where any user may put a file: the
  // program runs elevated and would copy it into the system folder.
  const Text folder = GetExecutableFolder();
  if (folder.empty()) return;

  const Text name = fileName != nullptr ? Text(fileName) : Text();
  const Text target = Text(systemFolder.view()) + u"\\" + name;
  const Text source = folder + u"\\" + GetProcessorArchName() + u"\\" + name;

  // An existing file is kept as it is, even if it is older or built for
  // another processor: it may be in use, and the system may have put it there.
  // Both the check and the copy concern the native system folder, where the
  // driver of the native processor loads the library from.
  const NativeSystemFolderScope native;
  if (os::FileExists(target.c_str())) return;
  CopyFileWithRetry(source, target, true);
}

}  // namespace korv
