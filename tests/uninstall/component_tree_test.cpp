// The uninstall window's tree: its lines as a function of the inventory, and
// how they reach the tree view.
#include <gtest/gtest.h>

#include "common/resource_ids.h"
#include "uninstall/component_tree.h"
#include "uninstall/inventory.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall_fixture.h"

namespace korv::test {
namespace {

// The tree as indented text, one line per item; "+" marks an expanded item.
std::string Render(const std::vector<TreeLine>& lines) {
  std::string out;
  for (const TreeLine& line : lines) {
    out += std::string(static_cast<std::size_t>(line.level) * 2, ' ') + (line.expand ? "+" : "") +
           U8(line.text) + "\n";
    out += Render(line.children);
  }
  return out;
}

std::string Render(const std::vector<sim::SimTreeItem>& items, int level = 0) {
  std::string out;
  for (const auto& item : items) {
    out += std::string(static_cast<std::size_t>(level) * 2, ' ') + (item.expanded ? "+" : "") +
           U8(item.text) + "\n";
    out += Render(item.children, level + 1);
  }
  return out;
}

class ComponentTreeTest : public UninstallTest {
 protected:
  void SetUp() override {
    UninstallTest::SetUp();
    InstallDir.assign(u"C:\\Korvane\\");
  }
};

TEST_F(ComponentTreeTest, AnEmptyInventoryIsOneLine) {
  EXPECT_EQ(Render(BuildComponentTree(nullptr)), "Nothing need to be removed there\n");
}

TEST_F(ComponentTreeTest, LinesBeforeARunEndWithTheEmptyStatus) {
  AddPackage(u"korvv6.inf_amd64_bbbb", StoredInf(u"korvv6.inf_amd64_bbbb"), u"04/07/2026,2026.4.7.6");
  AddDriver(u"Korvane KP-80", Text(), Text(), kDriverFile, Version(2026, 4, 7, 6));
  AddDriver(u"Korvane KP-58", Text(), Text(), kDriverFile, Version(65535, 0, 32768, 10));
  AddQueue(u"Shop 80", u"Korvane KP-80", u"USB001");
  CollectAll();

  EXPECT_EQ(Render(BuildComponentTree(InstalledPackages)),
            "The driver folder: C:\\Korvane\\\n"
            "+Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, "
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_bbbb\\korvv6.inf, \n"
            "  +Printer Driver:Korvane KP-58, Korvane, version:65535.0.32768.10, \n"
            "  +Printer Driver:Korvane KP-80, Korvane, version:2026.4.7.6, \n"
            "    Printer:Shop 80 on the port: USB001. \n");
}

TEST_F(ComponentTreeTest, RecordsWithoutPackageDetailsOrPrinterHaveTheirOwnLines) {
  QueueRecord noPrinter{};
  DriverRecord noDetails{};
  noDetails.Queues = &noPrinter;
  PackageRecord placeholder{};
  placeholder.Drivers = &noDetails;
  placeholder.DriverCount = 1;

  EXPECT_EQ(Render(BuildComponentTree(&placeholder)),
            "The driver folder: C:\\Korvane\\\n"
            "+Printer driver list:\n"
            "  +No printer driver\n"
            "    No printer\n");
}

TEST_F(ComponentTreeTest, LinesAfterARunEndWithEachResult) {
  AddPackage(u"korvv6.inf_amd64_bbbb", StoredInf(u"korvv6.inf_amd64_bbbb"), u"04/07/2026,2026.4.7.6");
  AddDriver(u"Korvane KP-80");
  AddQueue(u"Shop 80", u"Korvane KP-80", u"USB001");
  CollectAll();
  InstalledPackages->Status.assign(u"Failed. Error:-2146500035");
  InstalledPackages->Drivers->Status.assign(u"Removed.");
  InstalledPackages->Drivers->Queues->Status.assign(u"Removed.");

  EXPECT_EQ(Render(BuildComponentTree(InstalledPackages)),
            "The driver folder: C:\\Korvane\\\n"
            "+Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, "
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_bbbb\\korvv6.inf, "
            "Failed. Error:-2146500035\n"
            "  +Printer Driver:Korvane KP-80, Korvane, version:2026.4.7.6, Removed.\n"
            "    Printer:Shop 80 on the port: USB001. Removed.\n");
}

TEST_F(ComponentTreeTest, ALineIsCutToTheTextBuffer) {
  // A package line longer than the 1024-unit buffer keeps its first 1023.
  const Text longPath = Text(kStore) + Text(1000 - TextLength(kStore) - 11, u'p') + u"\\korvv6.inf";
  AddPackage(u"a", longPath);
  CollectDriverPackages();
  auto lines = BuildComponentTree(InstalledPackages);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text.size(), 1023u);
  EXPECT_EQ(lines[1].text.substr(0, 36), u"Driver Package:korvv6.inf, version:,");
}

TEST_F(ComponentTreeTest, TheDialogShowsTheTreeFullyExpandedAndRebuildsItWhole) {
  AddPackage(u"korvv6.inf_amd64_bbbb", StoredInf(u"korvv6.inf_amd64_bbbb"), u"04/07/2026,2026.4.7.6");
  AddDriver(u"Korvane KP-80");
  AddQueue(u"Shop 80", u"Korvane KP-80", u"USB001");
  // The tree is asked to rebuild twice more (as after removal runs); then the
  // window is closed.
  M().clock.At(1000, [] {
    auto& d = sim::Machine::Get().ui.dialogs.front();
    d.queue.push_back(sim::SimMessage{WM_REFRESH_COMPONENTS, 0, 0, d.handle});
    d.queue.push_back(sim::SimMessage{WM_REFRESH_COMPONENTS, 0, 0, d.handle});
  });
  M().ui.presses.push_back(sim::ScriptedPress{2000, IDD_UNINSTALL, IDC_CLOSE});

  EXPECT_EQ(os::DialogBoxParamW(AppInstance, IDD_UNINSTALL, &UninstallDialogProc, 0), 2);

  const auto& tree = M().ui.dialogs.front().controls.at(IDC_TREE).tree;
  EXPECT_EQ(Render(tree),
            "The driver folder: C:\\Korvane\\\n"
            "+Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, "
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_bbbb\\korvv6.inf, \n"
            "  +Printer Driver:Korvane KP-80, Korvane, version:2026.4.7.6, \n"
            "    Printer:Shop 80 on the port: USB001. \n");
  EXPECT_EQ(M().CallCount("TreeInsertItem"), 12);
  // The inventory was collected once, with the buttons disabled meanwhile.
  EXPECT_EQ(M().CallCount("EnumPrinterDriversW"), 1);
  EXPECT_EQ(CallDetails("EnableWindow"), (std::vector<std::string>{"disable", "disable", "enable", "enable"}));
}

}  // namespace
}  // namespace korv::test
