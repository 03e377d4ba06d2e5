#include "platform/sim/wow64.h"

#include <string_view>

#include "platform/sim/nocase.h"

namespace korv::sim {

namespace {

constexpr Dword kKeyWow64_64Key = 0x0100;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The rest of `path` after `prefix` when the path is the prefix itself or
// continues with a separator (returned with that separator); else nothing.
bool After(std::u16string_view path, std::u16string_view prefix, std::u16string_view* rest) {
  if (prefix.empty() || path.size() < prefix.size()) return false;
  if (!EqualNoCase(path.substr(0, prefix.size()), prefix)) return false;
  if (path.size() > prefix.size() && !IsSeparator(path[prefix.size()])) return false;
  *rest = path.substr(prefix.size());
  return true;
}

Text WindowsFolder(const Machine& machine) {
  const Text& system = machine.kernel.systemFolder;
  const auto separator = system.find_last_of(u"\\/");
  return separator == Text::npos ? Text() : system.substr(0, separator);
}

// Subfolders of the system folder that the redirector leaves alone.
bool IsExempt(std::u16string_view rest) {
  static constexpr std::u16string_view kExempt[] = {u"\\catroot",  u"\\catroot2", u"\\drivers\\etc",
                                                    u"\\driverstore", u"\\logfiles", u"\\spool"};
  std::u16string_view tail;
  for (std::u16string_view folder : kExempt) {
    if (After(rest, folder, &tail)) return true;
  }
  return false;
}

}  // namespace

bool RunsUnderWow64(const Machine& machine) {
  const auto native = machine.kernel.nativeArch;
  return machine.kernel.programArch == arch::Intel && (native == arch::Amd64 || native == arch::Arm64);
}

bool& ThreadFsRedirectionDisabled() {
  thread_local bool disabled = false;
  return disabled;
}

Text Wow64SystemFolder(const Machine& machine) { return WindowsFolder(machine) + u"\\SysWOW64"; }

Text RealFilePath(const Machine& machine, const Text& path) {
  if (!RunsUnderWow64(machine) || ThreadFsRedirectionDisabled()) return path;
  std::u16string_view rest;
  if (After(path, WindowsFolder(machine) + u"\\Sysnative", &rest)) return machine.kernel.systemFolder + Text(rest);
  if (After(path, machine.kernel.systemFolder, &rest) && !IsExempt(rest)) {
    return Wow64SystemFolder(machine) + Text(rest);
  }
  return path;
}

Text RealKeyPath(const Machine& machine, const Text& path, Dword access) {
  if (!RunsUnderWow64(machine) || (access & kKeyWow64_64Key) != 0) return path;
  std::u16string_view rest;
  if (!After(path, u"SOFTWARE", &rest)) return path;
  std::u16string_view already;
  if (After(rest, u"\\WOW6432Node", &already)) return path;
  return u"SOFTWARE\\WOW6432Node" + Text(rest);
}

}  // namespace korv::sim
