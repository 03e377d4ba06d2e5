#include "platform/sim/sim_fixtures.h"

#include "platform/sim/wow64.h"

namespace korv::sim {

namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

Text WithoutTrailingSeparator(Text path) {
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return path;
}

bool NativeIs64Bit(const Machine& machine) {
  return machine.kernel.nativeArch == arch::Amd64 || machine.kernel.nativeArch == arch::Arm64;
}

}  // namespace

std::string InstallerFileContent(std::u16string_view subfolder, std::u16string_view fileName) {
  std::string content = subfolder.empty() ? Narrow(fileName) : Narrow(subfolder) + "\\" + Narrow(fileName);
  return content + " (korvane driver family)";
}

void SetUpWindowsFolders(Machine& machine) {
  machine.kernel.folders.insert(WithoutTrailingSeparator(machine.kernel.systemFolder));
  if (NativeIs64Bit(machine)) machine.kernel.folders.insert(Wow64SystemFolder(machine));
  if (!machine.spooler.driverDirectory.empty()) {
    machine.kernel.folders.insert(WithoutTrailingSeparator(machine.spooler.driverDirectory));
  }
}

void PlaceSystemProgram(Machine& machine, const Text& fileName, const std::string& content) {
  machine.kernel.files[WithoutTrailingSeparator(machine.kernel.systemFolder) + u"\\" + fileName] =
      SimFile{content, false};
  if (NativeIs64Bit(machine)) {
    machine.kernel.files[Wow64SystemFolder(machine) + u"\\" + fileName] = SimFile{content, false};
  }
}

void SetUpInstallerFolder(Machine& machine, const Text& installDir) {
  SetUpWindowsFolders(machine);
  const Text root = WithoutTrailingSeparator(installDir);
  auto& k = machine.kernel;
  k.folders.insert(root);
  for (const char16_t* name : {u"korvv6.inf", u"unins000.exe"}) {
    k.files[root + u"\\" + name] = SimFile{InstallerFileContent(u"", name), false};
  }
  for (const char16_t* arch : {u"i386", u"arm", u"amd64", u"arm64"}) {
    k.folders.insert(root + u"\\" + arch);
    for (const char16_t* name : {u"korvdrv6.dll", u"korvdrv6ui.dll", u"korvmon.dll", u"vcomp140.dll"}) {
      k.files[root + u"\\" + arch + u"\\" + name] = SimFile{InstallerFileContent(arch, name), false};
    }
  }
  k.folders.insert(root + u"\\dat");
  k.files[root + u"\\dat\\korvdrv6.dat"] = SimFile{InstallerFileContent(u"dat", u"korvdrv6.dat"), false};
}

}  // namespace korv::sim
