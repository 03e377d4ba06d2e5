// The simulated machine's fault rules, service transitions, registry reads
// and file copies, as the subsystems' tests rely on them.
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "sim_fixture.h"

namespace korv {
namespace {

class MachineTest : public test::SimTest {};

// Calls GetSystemDirectoryW n times and returns which calls failed (1-based).
std::vector<int> FailingCalls(int n, std::vector<Dword>* errors = nullptr) {
  std::vector<int> failed;
  for (int i = 1; i <= n; ++i) {
    char16_t buffer[260];
    os::SetLastError(0);
    if (os::GetSystemDirectoryW(buffer, 260) == 0) {
      failed.push_back(i);
      if (errors != nullptr) errors->push_back(os::GetLastError());
    }
  }
  return failed;
}

TEST_F(MachineTest, FaultRulesPickTheCallsThatFail) {
  std::vector<Dword> errors;
  M().faults.Set("GetSystemDirectoryW", sim::FaultRule{err::AccessDenied, 0, 3});
  EXPECT_EQ(FailingCalls(5, &errors), (std::vector<int>{3}));
  EXPECT_EQ(errors, (std::vector<Dword>{err::AccessDenied}));

  // Calls are counted from the machine's start, not from when the rule was set.
  M().faults.Set("GetSystemDirectoryW", sim::FaultRule{err::NotEnoughMemory, 0, 0, 7});
  EXPECT_EQ(FailingCalls(4), (std::vector<int>{2, 3, 4}));  // calls 7, 8, 9

  M().faults.Set("GetSystemDirectoryW", sim::FaultRule{err::InvalidParameter});
  EXPECT_EQ(FailingCalls(2), (std::vector<int>{1, 2}));
  M().faults.Clear("GetSystemDirectoryW");
  EXPECT_TRUE(FailingCalls(2).empty());

  EXPECT_EQ(M().CallCount("GetSystemDirectoryW"), 13);
  EXPECT_EQ(M().faults.FailuresInjected(), 1 + 3 + 2);
  EXPECT_EQ(M().CallCount("GetTempPathW"), 0);  // counted per operation
}

TEST_F(MachineTest, ServiceTransitionsTakeVirtualTime) {
  auto& spooler = M().services.services.at(u"spooler");  // names ignore case
  spooler.stopDelayMs = 300;
  spooler.startDelayMs = 800;
  std::vector<std::pair<std::uint64_t, Dword>> changes;
  M().services.onStateChanged = [&](const Text& name, Dword state) {
    EXPECT_EQ(name, u"Spooler");
    changes.emplace_back(M().clock.Now(), state);
  };
  os::Handle manager = os::OpenSCManagerW(os::SC_MANAGER_ALL_ACCESS);
  os::Handle service = os::OpenServiceW(manager, u"SPOOLER", os::SERVICE_ALL_ACCESS);
  ASSERT_TRUE(service);
  Dword state = 0;

  EXPECT_FALSE(os::StartServiceW(service));  // running already
  EXPECT_EQ(os::GetLastError(), err::ServiceAlreadyRunning);
  EXPECT_TRUE(os::ControlService(service, os::SERVICE_CONTROL_STOP));
  ASSERT_TRUE(os::QueryServiceStatusEx(service, &state));
  EXPECT_EQ(state, os::SERVICE_STOP_PENDING);
  os::Sleep(299);
  os::QueryServiceStatusEx(service, &state);
  EXPECT_EQ(state, os::SERVICE_STOP_PENDING);
  os::Sleep(1);
  os::QueryServiceStatusEx(service, &state);
  EXPECT_EQ(state, os::SERVICE_STOPPED);

  EXPECT_FALSE(os::ControlService(service, os::SERVICE_CONTROL_STOP));  // stopped already
  EXPECT_EQ(os::GetLastError(), err::ServiceNotActive);
  EXPECT_TRUE(os::StartServiceW(service));
  os::Sleep(799);
  os::QueryServiceStatusEx(service, &state);
  EXPECT_EQ(state, os::SERVICE_START_PENDING);
  os::Sleep(1);
  os::QueryServiceStatusEx(service, &state);
  EXPECT_EQ(state, os::SERVICE_RUNNING);

  spooler.neverStops = true;
  EXPECT_TRUE(os::ControlService(service, os::SERVICE_CONTROL_STOP));
  os::Sleep(100000);
  os::QueryServiceStatusEx(service, &state);
  EXPECT_EQ(state, os::SERVICE_STOP_PENDING);

  EXPECT_EQ(changes, (std::vector<std::pair<std::uint64_t, Dword>>{{300, os::SERVICE_STOPPED},
                                                                    {1100, os::SERVICE_RUNNING}}));
  EXPECT_EQ(spooler.stopRequests, 2);
  EXPECT_EQ(spooler.startRequests, 1);
  EXPECT_FALSE(os::OpenServiceW(manager, u"Fax", os::SERVICE_ALL_ACCESS));
  EXPECT_EQ(os::GetLastError(), err::ServiceDoesNotExist);
}

TEST_F(MachineTest, RegistryReadsReportSizesAndTerminateMultiStrings) {
  auto& key = M().registry.Create(u"SYSTEM\\Test");
  // "a", "bc" with no terminator at all, as a careless writer stores it.
  sim::RegValue raw;
  raw.type = os::REG_MULTI_SZ;
  const char16_t units[] = {u'a', 0, u'b', u'c'};
  raw.data.resize(sizeof units);
  std::memcpy(raw.data.data(), units, sizeof units);
  key.values[u"Raw"] = raw;
  key.values[u"Proper"] = sim::RegistryState::MultiString({u"a", u"bc"});
  key.values[u"Name"] = sim::RegistryState::String(u"Korvane");

  os::Handle k;
  ASSERT_EQ(os::RegOpenKeyExW(u"SYSTEM\\Test", os::KEY_QUERY_VALUE, &k), 0u);

  // RegGetValueW adds the two terminators the stored data lacks.
  for (const char16_t* name : {u"Raw", u"Proper"}) {
    Dword size = 0;
    ASSERT_EQ(os::RegGetValueW(k, name, os::RRF_RT_REG_MULTI_SZ, nullptr, &size), 0u);
    EXPECT_EQ(size, 12u) << test::U8(name);
    char16_t out[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    Dword small = size - 2;
    EXPECT_EQ(os::RegGetValueW(k, name, os::RRF_RT_REG_MULTI_SZ, out, &small), err::MoreData);
    EXPECT_EQ(small, 12u);
    ASSERT_EQ(os::RegGetValueW(k, name, os::RRF_RT_REG_MULTI_SZ, out, &size), 0u);
    EXPECT_EQ(Text(out, 6), Text(u"a\0bc\0\0", 6)) << test::U8(name);
    EXPECT_EQ(out[6], u'x');
  }
  Dword size = 100;
  EXPECT_EQ(os::RegGetValueW(k, u"Name", os::RRF_RT_REG_MULTI_SZ, nullptr, &size), 1630u);

  // RegQueryValueExW hands back the data as stored.
  Dword type = 0;
  size = 0;
  ASSERT_EQ(os::RegQueryValueExW(k, u"Raw", &type, nullptr, &size), 0u);
  EXPECT_EQ(type, os::REG_MULTI_SZ);
  EXPECT_EQ(size, 8u);
  char16_t name[16] = {};
  size = 15;
  EXPECT_EQ(os::RegQueryValueExW(k, u"Name", &type, name, &size), err::MoreData);
  EXPECT_EQ(size, 16u);  // "Korvane" and its terminator
  ASSERT_EQ(os::RegQueryValueExW(k, u"Name", &type, name, &size), 0u);
  EXPECT_EQ(Text(name), u"Korvane");
  EXPECT_EQ(os::RegQueryValueExW(k, u"Missing", &type, name, &size), err::FileNotFound);
}

TEST_F(MachineTest, CopyOverALockedFileFailsWithSharingViolation) {
  M().kernel.programArch = arch::Amd64;  // the system folder as it is, not redirected
  auto& files = M().kernel.files;
  files[u"C:\\new.dll"] = sim::SimFile{"new", false};
  files[u"C:\\Windows\\system32\\korvmon.dll"] = sim::SimFile{"old", true};
  EXPECT_FALSE(os::CopyFileW(u"C:\\new.dll", u"C:\\Windows\\system32\\korvmon.dll", false));
  EXPECT_EQ(os::GetLastError(), err::SharingViolation);
  EXPECT_EQ(files.at(u"C:\\Windows\\system32\\korvmon.dll").content, "old");
  EXPECT_FALSE(os::DeleteFileW(u"C:\\Windows\\system32\\korvmon.dll"));

  files.at(u"C:\\Windows\\system32\\korvmon.dll").locked = false;
  EXPECT_TRUE(os::CopyFileW(u"C:\\new.dll", u"c:\\windows\\SYSTEM32\\KORVMON.DLL", false));
  EXPECT_EQ(files.at(u"C:\\Windows\\system32\\korvmon.dll").content, "new");
  EXPECT_FALSE(os::CopyFileW(u"C:\\new.dll", u"C:\\Windows\\system32\\korvmon.dll", true));
  EXPECT_EQ(os::GetLastError(), err::FileExists);
  EXPECT_FALSE(os::CopyFileW(u"C:\\Windows\\none.dll", u"C:\\x.dll", false));
  EXPECT_EQ(os::GetLastError(), err::FileNotFound);
  EXPECT_FALSE(os::CopyFileW(u"C:\\Nowhere\\none.dll", u"C:\\x.dll", false));
  EXPECT_EQ(os::GetLastError(), err::PathNotFound);
}

// CreateProcessW finds a bare program name as Windows does: the running
// program's folder, the current folder, the system folder (redirected for a
// 32-bit program on 64-bit Windows), the 16-bit system folder, the Windows
// folder, then PATH; a named application is taken as named.
TEST_F(MachineTest, ABareProgramNameIsFoundAlongTheSearchOrder) {
  auto& k = M().kernel;
  k.modulePath = u"C:\\Korvane\\korvsetup.exe";
  k.currentFolder = u"C:\\Work";
  k.searchPath = {u"C:\\Tools"};
  const Text places[] = {u"C:\\Korvane", u"C:\\Work", u"C:\\Windows\\SysWOW64", u"C:\\Windows\\System",
                         u"C:\\Windows", u"C:\\Tools"};
  // Each file is taken away in turn: the next place in the order answers.
  for (const Text& place : places) k.files[place + u"\\tool.exe"] = sim::SimFile{"tool", false};
  k.files[u"C:\\Windows\\system32\\tool.exe"] = sim::SimFile{"native tool", false};
  for (const Text& place : places) {
    SCOPED_TRACE(test::U8(place));
    const os::ProcessStart started = os::CreateProcessW(nullptr, u"tool /x");
    EXPECT_TRUE(started.started);
    EXPECT_EQ(test::U8(k.processes.back().executable), test::U8(place + u"\\tool.exe"));
    k.files.erase(place + u"\\tool.exe");
  }
  EXPECT_FALSE(os::CreateProcessW(nullptr, u"tool /x").started);
  EXPECT_EQ(os::GetLastError(), err::FileNotFound);

  // Named in full, through Sysnative: the native system folder's file.
  EXPECT_TRUE(os::CreateProcessW(u"C:\\Windows\\Sysnative\\tool.exe", u"tool /x").started);
  EXPECT_EQ(test::U8(k.processes.back().executable), "C:\\Windows\\system32\\tool.exe");
}


// The ANSI code page 932 converts as Shift-JIS: one or two bytes a
// character, '?' for a character it lacks (a surrogate pair is one).
TEST_F(MachineTest, CodePage932ConvertsAsShiftJis) {
  M().kernel.ansiCodePage = 932;
  const char16_t wide[] = u"\u4E2D\uFF71A\u00C9\U0001F600";
  char bytes[16] = {};
  const int written = os::WideCharToMultiByte(wide, 6, bytes, sizeof(bytes));
  EXPECT_EQ(std::string(bytes, static_cast<std::size_t>(written)), "\x92\x86\xB1" "A??");
  EXPECT_EQ(os::WideCharToMultiByte(wide, 6, nullptr, 0), 6);
  EXPECT_EQ(os::WideCharToMultiByte(wide, 1, bytes, 1), 0);  // two bytes do not fit one
  EXPECT_EQ(os::GetLastError(), err::InsufficientBuffer);

  char16_t back[8] = {};
  EXPECT_EQ(os::MultiByteToWideChar("\x92\x86\xB1" "A", 4, back, 8), 3);
  EXPECT_EQ(Text(back, 3), u"\u4E2D\uFF71A");
}

}  // namespace
}  // namespace korv
