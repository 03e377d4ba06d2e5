// The program's start: which of the five run modes a machine and a command
// line lead to, and what the start leaves behind (InstallDir, the mutex, the
// temporary copy's deletion at the next start of Windows).
#include "app/entry_point.h"

#include "common/globals.h"
#include "common/resource_ids.h"
#include "platform/ui.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class EntryPoint : public SimTest {
 protected:
  // The mode taken, from what the run left behind.
  std::string Mode() {
    std::string mode = "nothing";
    if (!M().ui.dialogs.empty()) {
      mode = M().ui.dialogs.front().templateId == IDD_UNINSTALL ? "uninstall window" : "installer window";
      if (!M().ui.dialogs.front().ended) mode += " left open";
    } else if (!M().kernel.processes.empty()) {
      const Text& line = M().kernel.processes.front().commandLine;
      mode = line.find(u" -u \"") != Text::npos ? "relaunch " + U8(line) : "hand-off " + U8(line);
    }
    if (!M().kernel.mutexes.empty()) mode += ", mutex held";
    if (!M().kernel.pendingRenames.empty()) mode += ", copy deleted at restart";
    return mode + " in " + U8(InstallDir.view());
  }
};

constexpr char kFolder[] = R"("installerFolders":["C:\\Korvane\\"])";
constexpr char kFamilyDriver[] =
    R"(,"spooler":{"drivers":[{"pName":"K80","pDriverPath":"C:\\D\\korvdrv6.dll",)"
    R"("pszInfPath":"C:\\S\\a\\korvv6.inf"}]})";

TEST_F(EntryPoint, MachineAndCommandLineChooseTheRunMode) {
  // machine: fields of "machine" after the module path
  struct Case { std::string machine; const char* module; const char16_t* line; std::string mode; };
  const std::string temp = R"(C:\\Users\\Shop\\AppData\\Local\\Temp\\)";
  const std::string relaunch =
      R"(relaunch "C:\Users\Shop\AppData\Local\Temp\uni1A2B.tmp" -u "C:\Korvane\ in C:\Korvane\)";
  const Case cases[] = {
      {kFolder, "korvsetup.exe", u"-u C:\\Old", "uninstall window in C:\\Old"},
      {kFolder, "unins000.exe", u"/silence -u C:\\Korvane", "uninstall window in C:\\Korvane"},
      {kFolder, "unins000.tmp", u"", relaunch},
      {kFolder, "UNINS000.exe", u"", "installer window in C:\\Korvane\\"},
      {kFolder, "unins0000.exe", u"", "installer window in C:\\Korvane\\"},
      // An installed family, but no uninstaller copy to hand over to.
      {std::string(R"("files":[{"path":"C:\\Korvane\\korvv6.inf","content":"i"}])") + kFamilyDriver, "korvsetup.exe",
       u"", "nothing in C:\\Korvane\\"},
      // The relaunched copy has the system delete it; nothing else is.
      {kFolder, "TEMP\\uni1A2B.tmp", u"-u C:\\Korvane\\", "uninstall window, copy deleted at restart in C:\\Korvane\\"},
      {kFolder, "TEMP\\uni1A2B.exe", u"-u C:\\Korvane\\", "uninstall window in C:\\Korvane\\"},
      {kFolder, "uni1A2B.tmp", u"-u C:\\Korvane\\", "uninstall window in C:\\Korvane\\"},
      {std::string(kFolder) + R"(,"faults":[{"operation":"CreateMutexW","error":5}])", "korvsetup.exe", u"",
       "installer window in C:\\Korvane\\"},
      // A copy that cannot be made, or held open until the child runs, is
      // not started.
      {std::string(kFolder) + R"(,"faults":[{"operation":"GetTempFileNameW","error":5}])", "unins000.exe", u"",
       "nothing in C:\\Korvane\\"},
      {std::string(kFolder) + R"(,"faults":[{"operation":"CreateFileW","error":32}])", "unins000.exe", u"",
       "nothing in C:\\Korvane\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module + (" " + U8(c.line)));
    std::string module = c.module;
    if (module.rfind("TEMP\\", 0) == 0) module = temp + module.substr(5);
    else module = R"(C:\\Korvane\\)" + module;
    Anew(R"({"machine":{"modulePath":")" + module + R"(",)" + c.machine +
          R"(},"ui":{"presses":[{"at":100,"dialog":106,"control":2},{"at":100,"dialog":105,"control":"close"}]}})");
    try {
      EXPECT_EQ(RunProgram(os::CurrentInstance(), c.line), 0);
    } catch (const sim::ProcessEnded&) {
    }
    EXPECT_EQ(Mode(), c.mode);
  }
}

}  // namespace
}  // namespace korv::test
