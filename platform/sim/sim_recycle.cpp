// The shell on the simulated machine: deleting to the Recycle Bin and change
// notifications.
#include "platform/shell.h"
#include "platform/sim/machine.h"

namespace korv::os {

using sim::Machine;

namespace {

Machine& M() { return Machine::Get(); }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && sim::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Everything the shell would delete for one source path: the file of that
// name, or the folder with every file and folder below it. A drive root
// ("C:\") is a folder like any other, which is exactly why callers must not
// hand one over.
struct Victims {
  std::vector<Text> files;
  std::vector<Text> folders;
  bool locked = false;
};

Victims Collect(std::u16string_view path) {
  Victims v;
  auto& k = M().kernel;
  Text base(path);
  while (base.size() > 1 && IsSeparator(base.back())) base.pop_back();
  if (base.empty()) return v;
  Text prefix = base + u"\\";
  for (const auto& [name, file] : k.files) {
    if (sim::EqualNoCase(name, base) || StartsWithNoCase(name, prefix)) {
      v.files.push_back(name);
      v.locked = v.locked || file.locked;
    }
  }
  for (const auto& folder : k.folders) {
    if (sim::EqualNoCase(folder, base) || StartsWithNoCase(folder, prefix)) v.folders.push_back(folder);
  }
  return v;
}

}  // namespace

int SHFileOperationW(Hwnd owner, Dword operation, const char16_t* from, Dword flags) {
  (void)owner;
  // The source is a list of terminated paths ended by an empty one.
  std::vector<Text> sources;
  for (const char16_t* p = from; p != nullptr && *p != 0;) {
    Text one(p);
    p += one.size() + 1;
    sources.push_back(std::move(one));
  }
  if (M().Enter("SHFileOperationW", sources.empty() ? Text() : sources.front())) {
    return static_cast<int>(sim::ThreadLastError());
  }
  if (operation != FO_DELETE || sources.empty()) return static_cast<int>(err::InvalidParameter);

  std::vector<Victims> all;
  for (const auto& source : sources) {
    Victims v = Collect(source);
    if (v.files.empty() && v.folders.empty()) return static_cast<int>(err::FileNotFound);
    if (v.locked) return static_cast<int>(err::SharingViolation);
    all.push_back(std::move(v));
  }
  auto& k = M().kernel;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    for (const auto& f : all[i].files) k.files.erase(f);
    for (const auto& f : all[i].folders) k.folders.erase(f);
    if ((flags & FOF_ALLOWUNDO) != 0) M().shell.recycled.push_back(sources[i]);
  }
  return 0;
}

void SHChangeNotify(long event, Dword flags, const char16_t* item1, const char16_t* item2) {
  (void)event;
  (void)flags;
  (void)item2;
  Text item = item1 != nullptr ? Text(item1) : Text();
  M().Enter("SHChangeNotify", item);
  M().shell.notifications.push_back(item);
}

}  // namespace korv::os
