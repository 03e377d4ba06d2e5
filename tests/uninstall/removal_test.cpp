// Removal runs through the uninstall window (-u C:\Korvane\): what each record says
// afterwards, how and when each run ends, which folder may go to the Recycle Bin.
#include <gtest/gtest.h>

#include "common/globals.h"
#include "common/resource_ids.h"
#include "common/text_util.h"
#include "platform/ui.h"
#include "sim_fixture.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall/inventory.h"
#include "uninstall/removal.h"

namespace korv::test {
namespace {

constexpr char kMonitor[] = R"(C:\Windows\system32\korvmon.dll)";

class Removal : public SimTest {
 protected:
  // The uninstall window for C:\Korvane\, until it closes.
  void RunWindow() {
    AppInstance = os::CurrentInstance();
    InstallDir.assign(u"C:\\Korvane\\");
    os::DialogBoxParamW(AppInstance, IDD_UNINSTALL, &UninstallDialogProc, 0);
  }
  // The records' statuses, then each message box ("uninstalled" carries a
  // caption, "failed" none) with its time and layout, then what the end did
  // and which devices are left.
  std::string Outcome() {
    std::string out;
    for (const PackageRecord* p = InstalledPackages; p != nullptr; p = p->Next) {
      out += "P:" + U8(p->Status.view()) + " ";
      for (const DriverRecord* d = p->Drivers; d != nullptr; d = d->Next) {
        out += "D:" + U8(d->Status.view()) + " ";
        for (const QueueRecord* q = d->Queues; q != nullptr; q = q->Next) out += "Q:" + U8(q->Status.view()) + " ";
      }
    }
    for (const auto& box : M().ui.messageBoxes) {
      out += std::string("| ") + (box.caption.empty() ? "failed" : "uninstalled") + " @" + std::to_string(box.at) +
             (box.type != os::MB_OK ? " rtl " : " ");
    }
    for (const Text& item : M().shell.notifications) out += "| notified " + U8(item) + " ";
    for (const Text& folder : M().shell.recycled) out += "| recycled " + U8(folder) + " ";
    for (const auto& node : M().devices.nodes) out += node.removed ? "" : "| device " + U8(node.friendlyName) + " ";
    if (M().kernel.files.count(Utf8ToUtf16(kMonitor)) != 0) out += "| monitor kept";
    return out;
  }
};

// spooler: the "spooler" object; extra: further fields of "machine", ui of
// "ui"; monitor: the "files" of the machine.
struct Case {
  const char* what;
  std::string spooler, extra, outcome, ui = "";
  std::string monitor = R"([{"path":"C:\\Windows\\system32\\korvmon.dll","content":"m"}])";
};

// One package (more: further store entries) with its driver K80 and the
// queue Shop (shop: further fields of it; queues, drivers: further ones).
std::string Family(const std::string& more = "", const std::string& shop = "", const std::string& queues = "",
                   const std::string& drivers = "") {
  return R"({"store":[{"storedInf":"C:\\S\\a\\korvv6.inf"})" + more +
         R"(],"drivers":[{"pName":"K80","pDriverPath":"C:\\D\\korvdrv6.dll","pszInfPath":"C:\\S\\a\\korvv6.inf"})" +
         drivers + "],"
         R"("queues":[{"pPrinterName":"Shop","pPortName":"LPT1:","pDriverName":"K80")" + shop + "}" + queues + "]";
}
std::string Results(const char* hr, int count) {
  std::string list = R"(,"packageDeleteResults":[)";
  for (int i = 0; i < count; ++i) list += (i != 0 ? ",\"" : "\"") + std::string(hr) + "\"";
  return list + "]";
}
const std::string kAllRemoved = "P:Removed. D:Removed. Q:Removed. ";
const std::string kRemovedInArabic = "\u062A\u0645\u062A \u0627\u0644\u0625\u0632\u0627\u0644\u0629.";
const std::string kFailedInArabic = "\u0641\u0634\u0644. \u0627\u0644\u062E\u0637\u0623: ";
const std::string kRecycled = "| notified C:\\Korvane\\ | recycled C:\\Korvane ";
const std::string kAloneDriver = R"({"drivers":[{"pName":"K80","pDriverPath":"C:\\D\\korvdrv6.dll"}])";
constexpr char kInUse[] = "0x800F023D", kDenied[] = "0x80070005", kArabic[] = R"("language":"0x0401",)";

// Remove is pressed at 1 s and again at 30 s, Close at 590 s.
TEST_F(Removal, EachComponentEndsWithItsResult) {
  const Case cases[] = {
      {"a package in use is tried again a second later", Family() + Results(kInUse, 4) + "}", "",
       kAllRemoved + "| uninstalled @5900 " + kRecycled},
      {"five tries a run; the next run tries only the package", Family() + Results(kInUse, 10) + "}", "",
       "P:Failed. Error:-2146500035 D:Removed. Q:Removed. | failed @5600 | failed @34000 | monitor kept"},
      {"another failure of the package is not retried", Family() + Results(kDenied, 2) + "}", "",
       "P:Failed. Error:-2147024891 D:Removed. Q:Removed. | failed @1600 | failed @30000 | monitor kept"},
      {"a driver without package is never deleted as one", kAloneDriver + Results(kDenied, 1) + "}", "",
       "P: D:" + kRemovedInArabic + " | uninstalled @1600 rtl " + kRecycled, kArabic},
      {"a driver is tried ten times, each a second apart, and shows the last error",
       Family("", "", R"(,{"pPrinterName":"Unseen","pPortName":"LPT1:","pDriverName":"k80"})") + "}",
       R"(,"faults":[{"operation":"DeletePrinterDriverExW","error":5,"onCall":1}])",
       "P: D:Failed. Error:3001 Q:Removed. | failed @68000 | device Unseen | monitor kept"},
      {"a queue that stays keeps its driver and package, and is tried again",
       Family("", R"(,"undeletable":true,"deleteError":5)") + "}", "",
       "P: D: Q:Failed. Error:5 | failed @1000 | failed @30000 | monitor kept"},
      {"every failure of a run counts",
       Family("", R"(,"undeletable":true,"deleteError":5)", "",
              R"(,{"pName":"K58","pDriverPath":"C:\\D\\korvdrv6.dll"})") + "}",
       R"(,"faults":[{"operation":"DeletePrinterDriverExW","error":5}])",
       "P: D:Failed. Error:5 D: Q:Failed. Error:5 | failed @11000 | failed @40000 | monitor kept"},
      {"two packages list the same driver and queue", Family(R"(,{"storedInf":"C:\\S\\b\\korvv6.inf"})") + "}", "",
       kAllRemoved + kAllRemoved + "| uninstalled @2500 " + kRecycled},
      {"an incomplete inventory never ends in uninstalled",
       R"({"store":[{"storedInf":"C:\\S\\a\\korvv6.inf"},{"storedInf":"C:\\S\\b\\korvv6.inf"}],)" +
           kAloneDriver.substr(1) + R"(,"packageDeleteResults":["0x0","0x80070005","0x80070005","0x80070005"]})",
       R"(,"faults":[{"operation":"EnumPrintersW","error":1722}])",
       "P:" + kRemovedInArabic + " D:" + kRemovedInArabic + " P:" + kFailedInArabic + "0x80070005 D:" +
           kRemovedInArabic + " | failed @1600 rtl | failed @30000 rtl | monitor kept",
       kArabic},
      {"a spooler that does not stop keeps the monitor file", Family() + "}",
       R"(,"services":{"Spooler":{"state":"running","neverStops":true}})",
       kAllRemoved + "| uninstalled @11600 " + kRecycled + "| monitor kept"},
      {"a locked monitor file is tried five times", Family() + "}", "",
       kAllRemoved + "| uninstalled @6900 " + kRecycled + "| monitor kept", "",
       R"([{"path":"C:\\Windows\\system32\\korvmon.dll","content":"m","locked":true}])"},
      {"only devices of exactly the queue's name go", Family() + "}",
       R"(,"deviceNodes":[{"setupClass":"Printer","friendlyName":"Shop"},)"
       R"({"setupClass":"PrintQueue","friendlyName":"shop"}])",
       kAllRemoved + "| uninstalled @1900 " + kRecycled + "| device shop "},
      {"a missing monitor file is tried once", Family() + "}", "", kAllRemoved + "| uninstalled @1900 " + kRecycled, "",
       "[]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Anew(R"({"machine":{"installerFolders":["C:\\Korvane\\"],"files":)" + c.monitor + R"(,"spooler":)" + c.spooler +
          c.extra + R"(},"ui":{)" + c.ui +
          R"("presses":[{"at":1000,"dialog":105,"control":1},{"at":30000,"dialog":105,"control":1},)"
          R"({"at":590000,"dialog":105,"control":2}]}})");
    RunWindow();
    EXPECT_EQ(Outcome(), c.outcome);
  }
}

// Every folder below holds "korvv6.inf", so each refusal is for the reason
// its path gives: a root, a relative path, a "." or ".." or a wildcard.
TEST_F(Removal, OnlyTheInstallerFolderItselfMayBeRecycled) {
  const std::pair<const char16_t*, bool> cases[] = {
      {u"C:\\Korvane\\", true}, {u"C:\\Korvane", true}, {u"C:/Korvane/", true}, {u"\\\\server\\share\\Korvane\\", true},
      {u"\\\\?\\C:\\Korvane", true}, {u"\\\\?\\UNC\\server\\share\\Korvane", true}, {u"\\\\.\\unc\\s\\h\\K", true},
      {u"C:\\", false}, {u"C:", false}, {u"C:/", false}, {u"\\\\server\\share\\", false}, {u"\\\\server\\share", false},
      {u"\\\\?\\C:\\", false}, {u"\\\\?\\UNC\\server\\share\\", false}, {u"\\\\?\\Uxx\\server\\share\\K", false},
      {u"\\\\?\\K\\a\\b", false}, {u"\\\\?\\UNCx\\a\\b\\c", false}, {u"C:\\Korvane\\..\\amd64", false},
      {u"C:\\Korvane\\amd64\\. .", false}, {u"C:\\Korvane\\.", false}, {u"C:\\Kor*", false}, {u"C:\\Korvan?", false},
      {u"A:\\K", true}, {u"Z:\\K", true}, {u"a:\\K", true}, {u"z:/K", true}, {u"Korvane", false},
      {u"C:Korvane", false}, {u"\\Korvane\\a\\b", false}, {u"", false}};
  for (const auto& [folder, yes] : cases) {
    const Text f(folder);
    const bool separated = !f.empty() && (f.back() == u'\\' || f.back() == u'/');
    M().kernel.files[f + (separated ? u"" : u"\\") + u"korvv6.inf"] = sim::SimFile{"inf", false};
    EXPECT_EQ(IsInstallerFolder(folder), yes) << U8(folder);
  }
  // A folder without the INF is somebody else's; one of 260 units does not
  // fit InstallDir.
  Given(R"({"machine":{"folders":["C:\\Users\\Shop\\Downloads"]}})");
  EXPECT_FALSE(IsInstallerFolder(u"C:\\Users\\Shop\\Downloads"));
  EXPECT_FALSE(IsInstallerFolder(nullptr));
  const Text long260 = u"C:\\" + Text(256, u'k') + u"\\";
  M().kernel.files[long260 + u"korvv6.inf"] = sim::SimFile{"inf", false};
  EXPECT_FALSE(IsInstallerFolder(long260.c_str()));
}

// A folder that fills InstallDir is recycled whole, without the trailing
// backslash the shell refuses.
TEST_F(Removal, AFolderThatFillsInstallDirIsRecycledWhole) {
  const std::string dir = "C:\\\\" + std::string(255, 'k') + "\\\\";
  Given(R"({"machine":{"installerFolders":[")" + dir + "\"]}}");
  InstallDir.assign((u"C:\\" + Text(255, u'k') + u"\\").c_str());
  ASSERT_EQ(InstallDir.size(), 259u);
  FinishUninstall(nullptr);
  EXPECT_EQ(M().shell.recycled, (std::vector<Text>{u"C:\\" + Text(255, u'k')}));
}

}  // namespace
}  // namespace korv::test
