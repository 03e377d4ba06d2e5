// The uninstall window's tree as a person sees it: texts, nesting, expansion, and
// lines whose text is missing or too long.
#include <gtest/gtest.h>

#include "common/globals.h"
#include "common/resource_ids.h"
#include "platform/ui.h"
#include "sim_fixture.h"
#include "uninstall/uninstall_dialog.h"

namespace korv::test {
namespace {

// One line per item, indented by level; "+" marks an expanded item.
std::string Render(const std::vector<sim::SimTreeItem>& items, int level = 0) {
  std::string out;
  for (const auto& item : items) {
    out += std::string(static_cast<std::size_t>(level) * 2, ' ') + (item.expanded ? "+" : "") + U8(item.text) + "\n";
    out += Render(item.children, level + 1);
  }
  return out;
}

const std::string kFamily =
    R"("infVersions":[{"path":"C:\\S\\a\\korvv6.inf","driverVer":"04/07/2026,2026.4.7.6"}],)"
    R"("spooler":{"store":[{"storedInf":"C:\\S\\a\\korvv6.inf"}],"drivers":[{"pName":"K80",)"
    R"("pDriverPath":"C:\\D\\korvdrv6.dll","pszMfgName":"Korvane","dwlDriverVersion":"2026.4.7.6"},)"
    R"({"pName":"K58","pDriverPath":"C:\\D\\korvdrv6.dll","dwlDriverVersion":"65535.0.32768.10"}],)"
    R"("queues":[{"pPrinterName":"Shop","pPortName":"USB001","pDriverName":"K80"}]})";
const std::string kPackageLine = "+Driver Package:korvv6.inf, version:04/07/2026,2026.4.7.6, C:\\S\\a\\korvv6.inf, \n";
const std::string kDriverLines =
    "  +Printer Driver:K58, , version:65535.0.32768.10, \n"
    "  +Printer Driver:K80, Korvane, version:2026.4.7.6, \n"
    "    Printer:Shop on the port: USB001. \n";
const std::string kLongInf = "C:\\\\S\\\\" + std::string(900, 'p') + "\\\\a\\\\korvv6.inf";

class ComponentTree : public SimTest {
 protected:
  void RunWindow() {
    AppInstance = os::CurrentInstance();
    InstallDir.assign(u"C:\\Korvane\\");
    os::DialogBoxParamW(AppInstance, IDD_UNINSTALL, &UninstallDialogProc, 0);
  }
};

TEST_F(ComponentTree, ShowsTheInventoryFullyExpanded) {
  // machine: fields of "machine"
  struct Case { const char* what; std::string machine; std::string tree; };
  const Case cases[] = {
      {"nothing installed", "", "Nothing need to be removed there\n"},
      {"a package, its drivers and queue", kFamily, "The driver folder: C:\\Korvane\\\n" + kPackageLine + kDriverLines},
      {"drivers without a package", R"("spooler":{"drivers":[{"pName":"K80","pDriverPath":"C:\\D\\korvdrv6.dll"}]})",
       "The driver folder: C:\\Korvane\\\n+Printer driver list:\n  +Printer Driver:K80, , version:0.0.0.0, \n"},
      // Blocks: 1 package record, 2 driver enumeration, 3 and 4 a driver
      // record and its copy (fails).
      {"a driver whose description was lost",
       R"("spooler":{"store":[{"storedInf":"C:\\S\\a\\korvv6.inf"}],)"
       R"("drivers":[{"pName":"K80","pDriverPath":"C:\\D\\korvdrv6.dll"}]},)"
       R"("faults":[{"operation":"LocalAlloc","error":8,"onCall":4}])",
       "The driver folder: C:\\Korvane\\\n+Printer driver list:\n  +Printer Driver:K80, , version:0.0.0.0, \n"
       "+Driver Package:korvv6.inf, version:, C:\\S\\a\\korvv6.inf, \n  +No printer driver\n"},
      // Loads: 1 the folder line, 2 the package line.
      {"a text that cannot be loaded leaves its line empty",
       kFamily + R"(,"faults":[{"operation":"LoadStringW","error":1814,"onCall":2}])",
       "The driver folder: C:\\Korvane\\\n+\n" + kDriverLines},
      {"a line longer than its buffer is cut",
       R"("spooler":{"store":[{"storedInf":")" + kLongInf + R"("}]})",
       "The driver folder: C:\\Korvane\\\n+" +
           ("Driver Package:korvv6.inf, version:, C:\\S\\" + std::string(900, 'p') + "\\a\\korvv6.inf, ")
               .substr(0, 1023) +
           "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Anew(R"({"machine":{)" + c.machine + R"(},"ui":{"presses":[{"at":1000,"dialog":105,"control":2}]}})");
    RunWindow();
    EXPECT_EQ(Render(M().ui.dialogs.at(0).controls.at(IDC_TREE).tree), c.tree);
  }
}

}  // namespace
}  // namespace korv::test
