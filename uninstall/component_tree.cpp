#include "uninstall/component_tree.h"

#include <cstdint>

#include "common/globals.h"
#include "common/resource_ids.h"
#include "common/strsafe.h"
#include "platform/ui.h"
#include "uninstall/inventory.h"

namespace korv {

namespace {

constexpr int kTextUnits = 1024;

// Loads and formats the tree's texts. Its buffers belong to the thread that
// builds the tree.
class LineMaker {
 public:
  // A text without arguments, as the string table holds it.
  Text Plain(Dword id) {
    Load(id);
    return Text(format_);
  }

  template <typename... Args>
  Text Formatted(Dword id, Args... args) {
    Load(id);
    wsprintfW(line_, kTextUnits, format_, args...);
    return Text(line_);
  }

 private:
  void Load(Dword id) {
    format_[0] = 0;
    os::LoadStringW(AppInstance, id, format_, kTextUnits);
  }

  char16_t format_[kTextUnits] = {};
  char16_t line_[kTextUnits] = {};
};

// One 16-bit part of a driver version, most significant first (0..3), as the
// non-negative number the "%d" of the driver line shows.
int VersionPart(std::uint64_t version, int part) {
  return static_cast<int>((version >> (48 - 16 * part)) & 0xFFFFu);
}

TreeLine QueueLine(LineMaker& make, const QueueRecord& queue) {
  TreeLine line;
  if (queue.Printer != nullptr) {
    line.text = make.Formatted(IDS_TREE_PRINTER, queue.Printer->pPrinterName.c_str(),
                               queue.Printer->pPortName.c_str(), queue.Status.c_str());
  } else {
    line.text = make.Plain(IDS_TREE_NO_PRINTER);
  }
  return line;
}

TreeLine DriverLine(LineMaker& make, const DriverRecord& driver) {
  TreeLine line;
  line.expand = true;
  if (const os::DriverInfo8* d = driver.Details) {
    line.text = make.Formatted(IDS_TREE_DRIVER, d->pName.c_str(), d->pszMfgName.c_str(),
                               VersionPart(d->dwlDriverVersion, 0), VersionPart(d->dwlDriverVersion, 1),
                               VersionPart(d->dwlDriverVersion, 2), VersionPart(d->dwlDriverVersion, 3),
                               driver.Status.c_str());
  } else {
    line.text = make.Plain(IDS_TREE_NO_DRIVER);
  }
  for (const QueueRecord* q = driver.Queues; q != nullptr; q = q->Next) {
    line.children.push_back(QueueLine(make, *q));
  }
  return line;
}

TreeLine PackageLine(LineMaker& make, const PackageRecord& package) {
  TreeLine line;
  line.expand = true;
  if (!package.DriverStorePath.empty()) {
    line.text = make.Formatted(IDS_TREE_PACKAGE, package.PackageName.c_str(), package.DriverVer.c_str(),
                               package.DriverStorePath.c_str(), package.Status.c_str());
  } else {
    line.text = make.Plain(IDS_TREE_DRIVER_LIST);
  }
  for (const DriverRecord* d = package.Drivers; d != nullptr; d = d->Next) {
    line.children.push_back(DriverLine(make, *d));
  }
  return line;
}

void Insert(Hwnd tree, os::TreeItem parent, const TreeLine& line) {
  os::TreeItem item = os::TreeInsertItem(tree, parent, line.text.c_str());
  for (const TreeLine& child : line.children) Insert(tree, item, child);
  if (line.expand) os::TreeExpandItem(tree, item);
}

}  // namespace

std::vector<TreeLine> BuildComponentTree(const PackageRecord* head) {
  LineMaker make;
  std::vector<TreeLine> lines;
  if (head == nullptr) {
    lines.push_back(TreeLine{make.Plain(IDS_NOTHING_TO_REMOVE)});
    return lines;
  }
  lines.push_back(TreeLine{make.Formatted(IDS_TREE_FOLDER, InstallDir.c_str())});
  for (const PackageRecord* p = head; p != nullptr; p = p->Next) lines.push_back(PackageLine(make, *p));
  return lines;
}

void FillComponentTree(Hwnd dialog, const PackageRecord* head) {
  Hwnd tree = os::GetDlgItem(dialog, IDC_TREE);
  os::TreeDeleteAllItems(tree);
  for (const TreeLine& line : BuildComponentTree(head)) Insert(tree, nullptr, line);
}

}  // namespace korv
