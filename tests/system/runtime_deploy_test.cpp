// Deploying the driver's runtime into the native system folder: which build
// lands there, what is left alone, the debugger lines and the retry pauses.
#include "system/runtime_deploy.h"

#include <string>
#include <vector>

#include "platform/sim/sim_fixtures.h"
#include "platform/sim/wow64.h"
#include "sim_fixture.h"

namespace korv::test {
namespace {

class RuntimeDeployTest : public SimTest {
 protected:
  void Fresh(const std::string& machine) {
    TearDown();
    SetUp();
    Given(R"({"machine": {"installerFolders": ["C:\\Korvane\\"], "folders": ["C:\\Windows\\SysWOW64"])" +
          (machine.empty() ? "" : ", " + machine) + "}}");
  }
  std::string ContentOf(const char16_t* path) {
    auto it = M().kernel.files.find(path);
    return it == M().kernel.files.end() ? "" : it->second.content;
  }
  std::string Output() {  // the debugger lines, joined by '|'
    std::string all;
    for (const Text& line : M().kernel.debugOutput) all += (all.empty() ? "" : "|") + U8(line);
    return all;
  }
};

const std::string kTo = " to C:\\Windows\\system32\\vcomp140.dll";
std::string Copied(const std::string& build) { return "Successfully copied: C:\\Korvane\\" + build + "\\vcomp140.dll" + kTo; }

TEST_F(RuntimeDeployTest, WhatLandsInTheSystemFolder) {
  // system32: the native system folder's file afterwards
  struct Row { const char* what; std::string machine, system32, output; std::uint64_t endsAt = 0; };
  const std::string inSystem32 = R"("files": [{"path": "C:\\Windows\\system32\\vcomp140.dll", "content": "kept"}])";
  const std::string inSysWow64 = R"("files": [{"path": "C:\\Windows\\SysWOW64\\vcomp140.dll", "content": "32-bit"}])";
  auto build = [](const char16_t* folder) { return sim::InstallerFileContent(folder, u"vcomp140.dll"); };
  const std::vector<Row> rows = {
      {"x64", "", build(u"amd64"), Copied("amd64")},
      {"ARM64", R"("nativeArch": "arm64")", build(u"arm64"), Copied("arm64")},
      {"x86", R"("nativeArch": "x86")", build(u"i386"), Copied("i386")},
      {"ARM", R"("nativeArch": "arm")", build(u"arm"), Copied("arm")},
      {"present: never replaced", inSystem32, "kept", ""},
      {"ARM64, present in the native folder only", inSystem32 + R"(, "nativeArch": "arm64")", "kept", ""},
      {"x64, 32-bit program, present in SysWOW64 only", inSysWow64, build(u"amd64"), Copied("amd64")},
      {"x64, 64-bit program, present in SysWOW64 only", inSysWow64 + R"(, "programArch": "x64")", build(u"amd64"),
       Copied("amd64")},
      {"copy failing once: retried after a second", R"("faults": [{"operation": "CopyFileW", "error": 1223, "onCall": 1}])",
       build(u"amd64"), "Copy attempt 1 failed: C:\\Korvane\\amd64\\vcomp140.dll" + kTo + ", error: 0x4c7|" + Copied("amd64"),
       1000},
      {"copy always failing: two lines, two pauses", R"("faults": [{"operation": "CopyFileW", "error": 2}])", "",
       "Copy attempt 1 failed: C:\\Korvane\\amd64\\vcomp140.dll" + kTo + ", error: 0x2|Copy attempt 2 failed: "
       "C:\\Korvane\\amd64\\vcomp140.dll" + kTo + ", error: 0x2", 2000},
      {"no build for the processor: an empty folder name",
       R"("nativeArch": "ia64", "files": [{"path": "C:\\Korvane\\\\vcomp140.dll", "content": "none"}])", "none",
       "Successfully copied: C:\\Korvane\\\\vcomp140.dll" + kTo},
      {"no system folder", R"("faults": [{"operation": "GetSystemDirectoryW", "error": 5}])", "", ""},
      {"a system folder that does not fit", R"("systemFolder": "C:\\)" + std::string(257, 'w') + "\"", "", ""},
      {"no executable path", R"("faults": [{"operation": "GetModuleFileNameW", "error": 122}])", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh(row.machine);
    DeployRuntimeLibrary(u"vcomp140.dll");
    const std::string system32 = ContentOf(u"C:\\Windows\\system32\\vcomp140.dll");
    EXPECT_EQ(system32, row.system32);
    EXPECT_EQ(Output(), row.output);
    EXPECT_EQ(Now(), row.endsAt);
    EXPECT_EQ(ContentOf(u"C:\\Windows\\SysWOW64\\vcomp140.dll"), row.machine.find("SysWOW64") != std::string::npos ? "32-bit" : "");
    EXPECT_FALSE(sim::ThreadFsRedirectionDisabled()) << "redirection turned on again";
  }
}

TEST_F(RuntimeDeployTest, ExecutableFolderAndTheOverwriteFlag) {
  for (const auto& [module, folder] : {std::pair{u"C:\\Korvane\\korvsetup.exe", u"C:\\Korvane"},
                                       {u"C:/Korvane/setup/korvsetup.exe", u"C:/Korvane/setup"},
                                       {u"C:\\a/b\\c/d.exe", u"C:\\a/b\\c"}, {u"korvsetup.exe", u"korvsetup.exe"}}) {
    M().kernel.modulePath = module;
    EXPECT_EQ(U8(GetExecutableFolder()), U8(folder));
  }
  Given(R"({"machine": {"files": [{"path": "C:\\src.dll", "content": "new"}, {"path": "C:\\dst.dll", "content": "old"}]}})");
  EXPECT_FALSE(CopyFileWithRetry(u"C:\\src.dll", u"C:\\dst.dll", false));
  EXPECT_EQ(ContentOf(u"C:\\dst.dll"), "old");
  EXPECT_TRUE(CopyFileWithRetry(u"C:\\src.dll", u"C:\\dst.dll", true));
  EXPECT_EQ(ContentOf(u"C:\\dst.dll"), "new");
}

}  // namespace
}  // namespace korv::test
