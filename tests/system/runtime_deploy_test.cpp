// Runtime deployment on the simulated machine: which file is copied from
// where, the exact debugger lines, the retries and their pauses.
#include "system/runtime_deploy.h"

#include <map>
#include <string>
#include <vector>

#include "common/text_util.h"
#include "platform/sim/wow64.h"
#include "sim_fixture.h"

namespace korv {
namespace {

const Text kSystem = u"C:\\Windows\\system32";
const Text kTarget = u"C:\\Windows\\system32\\vcomp140.dll";

class RuntimeDeployTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    M().kernel.folders.insert(kSystem);
  }
  std::map<Text, sim::SimFile, sim::NoCaseLess>& Files() { return M().kernel.files; }
  std::vector<Text>& Output() { return M().kernel.debugOutput; }
  void Ship(const Text& path, const std::string& content) { Files()[path] = sim::SimFile{content, false}; }
};

TEST_F(RuntimeDeployTest, PresentFileIsNeverReplaced) {
  Ship(kTarget, "older, other processor");
  Ship(u"C:\\Korvane\\amd64\\vcomp140.dll", "amd64");
  DeployRuntimeLibrary(u"vcomp140.dll");
  EXPECT_EQ(M().CallCount("CopyFileW"), 0);
  EXPECT_TRUE(Output().empty());
  EXPECT_EQ(Files().at(kTarget).content, "older, other processor");
}

TEST_F(RuntimeDeployTest, MissingFileIsCopiedFromTheNativeProcessorFolder) {
  const std::pair<std::uint16_t, Text> machines[] = {
      {arch::Amd64, u"amd64"}, {arch::Arm64, u"arm64"}, {arch::Intel, u"i386"}, {arch::Arm, u"arm"}};
  for (const auto& m : machines) Ship(u"C:\\Korvane\\" + m.second + u"\\vcomp140.dll", test::U8(m.second));

  for (const auto& [native, folder] : machines) {
    Files().erase(kTarget);
    Output().clear();
    M().kernel.nativeArch = native;
    DeployRuntimeLibrary(u"vcomp140.dll");
    const Text source = u"C:\\Korvane\\" + folder + u"\\vcomp140.dll";
    ASSERT_EQ(Files().count(kTarget), 1u) << test::U8(folder);
    EXPECT_EQ(Files().at(kTarget).content, test::U8(folder));
    EXPECT_EQ(Output(), (std::vector<Text>{u"Successfully copied: " + source + u" to " + kTarget}));
  }
  EXPECT_EQ(Now(), 0u);
}

// The 32-bit program on 64-bit Windows looks for and puts the runtime into
// the native system folder, where the native driver loads it, whatever
// SysWOW64 holds; the lines still name the system folder as the program
// knows it. On a 32-bit processor, and for a 64-bit program, nothing is
// redirected in the first place.
TEST_F(RuntimeDeployTest, TheRuntimeGoesToTheNativeSystemFolderUnderWow64) {
  const Text kWow64Target = u"C:\\Windows\\SysWOW64\\vcomp140.dll";
  struct Case {
    const char* what;
    std::uint16_t native;
    std::uint16_t program;
    bool inSystem32;
    bool inSysWow64;
    const char* expectedInSystem32;  // content afterwards, "" for none
  };
  const Case cases[] = {
      {"x64, 32-bit program, runtime only in SysWOW64", arch::Amd64, arch::Intel, false, true, "amd64"},
      {"x64, 32-bit program, runtime only in system32", arch::Amd64, arch::Intel, true, false, "present"},
      {"x64, 32-bit program, runtime nowhere", arch::Amd64, arch::Intel, false, false, "amd64"},
      {"ARM64, 32-bit program, runtime only in SysWOW64", arch::Arm64, arch::Intel, false, true, "arm64"},
      {"ARM64, 32-bit program, runtime only in system32", arch::Arm64, arch::Intel, true, false, "present"},
      {"x86, runtime nowhere", arch::Intel, arch::Intel, false, false, "i386"},
      {"x64, 64-bit program, runtime only in SysWOW64", arch::Amd64, arch::Amd64, false, true, "amd64"},
  };
  for (const char16_t* folder : {u"amd64", u"arm64", u"i386"}) {
    Ship(Text(u"C:\\Korvane\\") + folder + u"\\vcomp140.dll", test::U8(folder));
  }
  M().kernel.folders.insert(u"C:\\Windows\\SysWOW64");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Files().erase(kTarget);
    Files().erase(kWow64Target);
    if (c.inSystem32) Ship(kTarget, "present");
    if (c.inSysWow64) Ship(kWow64Target, "32-bit build");
    Output().clear();
    M().kernel.nativeArch = c.native;
    M().kernel.programArch = c.program;

    DeployRuntimeLibrary(u"vcomp140.dll");

    ASSERT_EQ(Files().count(kTarget), 1u);
    EXPECT_EQ(Files().at(kTarget).content, c.expectedInSystem32);
    EXPECT_EQ(Files().count(kWow64Target), c.inSysWow64 ? 1u : 0u);
    if (c.inSysWow64) {
      EXPECT_EQ(Files().at(kWow64Target).content, "32-bit build");  // left alone
    }
    if (!c.inSystem32) {
      const Text source = Text(u"C:\\Korvane\\") + Utf8ToUtf16(c.expectedInSystem32) + u"\\vcomp140.dll";
      EXPECT_EQ(Output(), (std::vector<Text>{u"Successfully copied: " + source + u" to " + kTarget}));
    }
    EXPECT_FALSE(sim::ThreadFsRedirectionDisabled());  // turned on again
  }
}

TEST_F(RuntimeDeployTest, MissingSourceGivesTwoLinesAndTwoPauses) {
  M().kernel.folders.insert(u"C:\\Korvane\\amd64");
  DeployRuntimeLibrary(u"vcomp140.dll");
  const Text paths = u"C:\\Korvane\\amd64\\vcomp140.dll to " + kTarget;
  EXPECT_EQ(Output(), (std::vector<Text>{u"Copy attempt 1 failed: " + paths + u", error: 0x2",
                                         u"Copy attempt 2 failed: " + paths + u", error: 0x2"}));
  EXPECT_EQ(M().CallCount("CopyFileW"), 3);
  EXPECT_EQ(Now(), 2000u);  // no pause after the third attempt
  EXPECT_EQ(Files().count(kTarget), 0u);
}

TEST_F(RuntimeDeployTest, UnknownProcessorLeavesAnEmptyFolderName) {
  for (std::uint16_t native : {arch::Ia64, arch::Unknown, std::uint16_t{1}}) {
    M().kernel.nativeArch = native;
    EXPECT_EQ(GetProcessorArchName(), Text()) << native;
  }
  Ship(u"C:\\Korvane\\\\vcomp140.dll", "no folder");
  DeployRuntimeLibrary(u"vcomp140.dll");
  EXPECT_EQ(Output(), (std::vector<Text>{u"Successfully copied: C:\\Korvane\\\\vcomp140.dll to " + kTarget}));
}

TEST_F(RuntimeDeployTest, ExecutableFolderIsTheTextBeforeTheLastSeparator) {
  const std::pair<Text, Text> cases[] = {
      {u"C:\\Korvane\\korvsetup.exe", u"C:\\Korvane"},
      {u"C:/Korvane/setup/korvsetup.exe", u"C:/Korvane/setup"},
      {u"C:\\a/b\\c/d.exe", u"C:\\a/b\\c"},
      {u"korvsetup.exe", u"korvsetup.exe"},
  };
  for (const auto& [module, folder] : cases) {
    M().kernel.modulePath = module;
    EXPECT_EQ(GetExecutableFolder(), folder) << test::U8(module);
  }

  // Without a separator the whole path is taken as the folder.
  Ship(u"korvsetup.exe\\amd64\\vcomp140.dll", "x");
  DeployRuntimeLibrary(u"vcomp140.dll");
  EXPECT_EQ(Output(), (std::vector<Text>{u"Successfully copied: korvsetup.exe\\amd64\\vcomp140.dll to " + kTarget}));

  M().faults.Set("GetModuleFileNameW", sim::FaultRule{err::InsufficientBuffer});
  EXPECT_EQ(GetExecutableFolder(), Text());
}

TEST_F(RuntimeDeployTest, NoSystemFolderMeansNothingIsDone) {
  Ship(u"C:\\Korvane\\amd64\\vcomp140.dll", "amd64");
  M().faults.Set("GetSystemDirectoryW", sim::FaultRule{err::AccessDenied});
  DeployRuntimeLibrary(u"vcomp140.dll");
  // A folder that does not fit the buffer gives nothing to copy to either.
  M().faults.ClearAll();
  M().kernel.systemFolder = u"C:\\" + Text(260, u'w');
  DeployRuntimeLibrary(u"vcomp140.dll");

  EXPECT_EQ(M().CallCount("FileExists") + M().CallCount("CopyFileW"), 0);
  EXPECT_TRUE(Output().empty());
  EXPECT_EQ(Now(), 0u);
}

TEST_F(RuntimeDeployTest, CopyFailingOnceIsRetriedAfterOneSecond) {
  Ship(u"C:\\Korvane\\amd64\\vcomp140.dll", "amd64");
  M().faults.Set("CopyFileW", sim::FaultRule{1223, 0, 1});
  DeployRuntimeLibrary(u"vcomp140.dll");
  const Text paths = u"C:\\Korvane\\amd64\\vcomp140.dll to " + kTarget;
  EXPECT_EQ(Output(), (std::vector<Text>{u"Copy attempt 1 failed: " + paths + u", error: 0x4c7",
                                         u"Successfully copied: " + paths}));
  EXPECT_EQ(Now(), 1000u);
  EXPECT_EQ(Files().at(kTarget).content, "amd64");
}

TEST_F(RuntimeDeployTest, OverwriteFlagDecidesWhetherAnExistingTargetIsReplaced) {
  Ship(u"C:\\src.dll", "new");
  Ship(u"C:\\dst.dll", "old");
  EXPECT_FALSE(CopyFileWithRetry(u"C:\\src.dll", u"C:\\dst.dll", false));
  EXPECT_EQ(Output(), (std::vector<Text>{u"Copy attempt 1 failed: C:\\src.dll to C:\\dst.dll, error: 0x50",
                                         u"Copy attempt 2 failed: C:\\src.dll to C:\\dst.dll, error: 0x50"}));
  EXPECT_EQ(Files().at(u"C:\\dst.dll").content, "old");
  EXPECT_EQ(Now(), 2000u);

  EXPECT_TRUE(CopyFileWithRetry(u"C:\\src.dll", u"C:\\dst.dll", true));
  EXPECT_EQ(Files().at(u"C:\\dst.dll").content, "new");
  EXPECT_EQ(Output().back(), u"Successfully copied: C:\\src.dll to C:\\dst.dll");
  EXPECT_EQ(M().CallCount("CopyFileW"), 4);
}

}  // namespace
}  // namespace korv
