#include "platform/sim/sim_processes.h"

#include "platform/sim/wow64.h"

namespace korv::sim {

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

Text FolderOf(const Text& path) {
  const auto separator = path.find_last_of(u"\\/");
  return separator == Text::npos ? Text() : path.substr(0, separator);
}

Text Join(const Text& folder, const Text& name) {
  if (folder.empty()) return name;
  return IsSeparator(folder.back()) ? folder + name : folder + u"\\" + name;
}

// "C:\..." or "\\server\...": a path that names its drive or share.
bool IsFullPath(const Text& path) {
  return (path.size() >= 3 && path[1] == u':' && IsSeparator(path[2])) ||
         (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

// The real path of the file `path` names for the program, or empty.
Text Existing(const Machine& machine, const Text& path) {
  const Text real = RealFilePath(machine, path);
  return machine.kernel.files.count(real) != 0 ? real : Text();
}

Text FirstToken(const Text& line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
  if (i < line.size() && line[i] == u'"') {
    const auto end = line.find(u'"', i + 1);
    return line.substr(i + 1, end == Text::npos ? Text::npos : end - i - 1);
  }
  const auto end = line.find_first_of(u" \t", i);
  return line.substr(i, end == Text::npos ? Text::npos : end - i);
}

}  // namespace

Text FindApplication(const Machine& machine, const Text& application) {
  if (application.empty()) return Text();
  if (IsFullPath(application)) return Existing(machine, application);
  // "\name" is rooted on the current folder's drive.
  const Text& current = machine.kernel.currentFolder;
  if (IsSeparator(application[0])) return Existing(machine, current.substr(0, current.find_first_of(u"\\/")) + application);
  return Existing(machine, Join(current, application));
}

Text FindProgramOfCommandLine(const Machine& machine, const Text& commandLine) {
  Text name = FirstToken(commandLine);
  if (name.empty()) return Text();
  const auto lastSeparator = name.find_last_of(u"\\/");
  const auto dot = name.find_last_of(u'.');
  if (dot == Text::npos || (lastSeparator != Text::npos && dot < lastSeparator)) name += u".exe";
  if (lastSeparator != Text::npos || name.find(u':') != Text::npos) return FindApplication(machine, name);

  const auto& k = machine.kernel;
  const Text windows = FolderOf(k.systemFolder);
  std::vector<Text> folders{FolderOf(k.modulePath), k.currentFolder, k.systemFolder, Join(windows, u"System"),
                            windows};
  folders.insert(folders.end(), k.searchPath.begin(), k.searchPath.end());
  for (const Text& folder : folders) {
    if (folder.empty()) continue;
    const Text found = Existing(machine, Join(folder, name));
    if (!found.empty()) return found;
  }
  return Text();
}

void ReleaseFile(Machine& machine, const Text& handleName) {
  auto it = machine.kernel.files.find(handleName.substr(5));  // after "file:"
  if (it != machine.kernel.files.end()) it->second.locked = false;
}

}  // namespace korv::sim
