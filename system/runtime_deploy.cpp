#include "system/runtime_deploy.h"

#include "platform/kernel.h"
#include "system/native_system_folder.h"

namespace korv {

namespace {

constexpr Dword kPathCapacity = 260;
constexpr int kCopyAttempts = 3;
constexpr Dword kCopyRetryPauseMs = 1000;

Text Decimal(unsigned value) {
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

// Error codes are written in lower-case hexadecimal digits without leading
// zeros ("0x2", "0x4c7"), the way the C++ stream formatting does by default,
// so that the lines read like other tools' debugger output.
Text Hex(Dword value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  Text digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return digits;
}

}  // namespace

Text GetProcessorArchName() {
  switch (os::GetNativeProcessorArchitecture()) {
    case arch::Intel:
      return u"i386";
    case arch::Arm:
      return u"arm";
    case arch::Amd64:
      return u"amd64";
    case arch::Arm64:
      return u"arm64";
    default:
      return Text();
  }
}

Text GetExecutableFolder() {
  char16_t path[kPathCapacity] = {};
  // A path that did not fit is cut: its last separator may end a parent
  // folder of the real one, which would then be copied from.
  const Dword length = os::GetModuleFileNameW(path, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return Text();
  Text folder(path);
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
    const Text line = u"Copy attempt " + Decimal(static_cast<unsigned>(attempt)) + u" failed: " +
                      source + u" to " + target + u", error: 0x" + Hex(error);
    os::OutputDebugStringW(line.c_str());
    os::Sleep(kCopyRetryPauseMs);
  }
  return false;
}

void DeployRuntimeLibrary(const char16_t* fileName) {
  char16_t systemFolder[kPathCapacity] = {};
  // A result of 0 is a failure; one of the buffer's size or more means the
  // folder did not fit and the buffer holds nothing: either way there is no
  // destination to copy to.
  const Dword length = os::GetSystemDirectoryW(systemFolder, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return;

  // Without the executable's folder the source would be "\<processor>\<file>"
  // at the root of the current drive, where any user may put a file: the
  // program runs elevated and would copy it into the system folder.
  const Text folder = GetExecutableFolder();
  if (folder.empty()) return;

  const Text name = fileName != nullptr ? Text(fileName) : Text();
  const Text target = Text(systemFolder) + u"\\" + name;
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
