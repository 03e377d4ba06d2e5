// The fault-injection sweep: every operation of the boundary
// (platform/operations.def), on every run path that calls it, made to fail
// on every call and then on its first call only. An operation added to the
// boundary later is swept without anyone remembering to: the cases are made
// from the operation list and from what each path calls without faults.
//
// Each run must end without a stray exception, within the time its fixed
// loops allow (or, for a silent search that never finds a printer, be
// waiting in that search when it is ended from outside), with exit code 0;
// it must report no success that did not happen, keep its records true,
// touch nothing that is not the family's, close every handle and release
// every block. The figure is printed at the end of the test program.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <vector>

#include "common/resource_ids.h"
#include "sweep_checks.h"

namespace korv::test::sweep {
namespace {

// ---- the fault-free runs -------------------------------------------------------------

struct Baseline {
  std::map<std::string, int> calls;    // per operation of the boundary
  std::set<std::string> unlisted;      // operations called that the list lacks
};

// Operations that log their calls but have no failure to inject: a shell
// notification returns nothing.
const std::set<std::string> kCannotFail = {"SHChangeNotify"};

bool Listed(const std::string& op) {
  const auto& names = sim::OperationNames();
  return std::find(names.begin(), names.end(), op) != names.end();
}

// Made once, when the cases are generated (inside InitGoogleTest, after
// every static initialiser has run).
const std::map<PathId, Baseline>& Baselines() {
  static const std::map<PathId, Baseline> baselines = [] {
    std::map<PathId, Baseline> all;
    for (const PathPlan& plan : PathPlans()) {
      sim::Machine& m = sim::Machine::Reset();
      ResetProgramState();
      Prepare(plan.id);
      RunPath(plan.id);
      Baseline b;
      for (const auto& op : sim::OperationNames()) b.calls[op] = m.CallCount(op);
      for (const auto& call : m.calls) {
        if (!Listed(call.operation) && kCannotFail.count(call.operation) == 0) b.unlisted.insert(call.operation);
      }
      ResetProgramState();
      all[plan.id] = b;
    }
    sim::Machine::Reset();
    ResetProgramState();
    return all;
  }();
  return baselines;
}

std::vector<SweepCase> Cases() {
  std::vector<SweepCase> cases;
  for (const PathPlan& plan : PathPlans()) {
    for (const auto& op : sim::OperationNames()) {
      if (Baselines().at(plan.id).calls.at(op) == 0) continue;  // this path never calls it
      for (const FaultChoice& choice : ChoicesFor(op)) {
        for (bool first : {false, true}) cases.push_back(SweepCase{plan.id, op, choice, first});
      }
    }
  }
  return cases;
}

// ---- faults found and left to be decided -----------------------------------------------

// A run listed here whose invariants break is skipped with the fault named;
// one that no longer breaks fails, so that the entry is removed.
struct KnownFault {
  PathId path;
  const char* operation;
  const char* label;  // null: every error of the operation
  int mode;           // 0 every call, 1 first call only, -1 both
  const char* fault;
};

// Faults the sweep found that are not mended yet (none at present); an entry
// names the path, operation and mode, and what breaks.
const std::vector<KnownFault> kKnownFaults = {};

const KnownFault* Known(const SweepCase& c) {
  for (const KnownFault& k : kKnownFaults) {
    if (k.path != c.path || c.operation != k.operation) continue;
    if (k.label != nullptr && std::string(k.label) != c.fault.label) continue;
    if (k.mode >= 0 && k.mode != (c.firstCallOnly ? 1 : 0)) continue;
    return &k;
  }
  return nullptr;
}

// ---- the figure ------------------------------------------------------------------------

struct Tally {
  std::set<std::string> operations;
  std::set<int> paths;
  int runs = 0;
  int failures = 0;
};

Tally& Counts() {
  static Tally tally;
  return tally;
}

class FigureReport : public ::testing::Environment {
 public:
  void TearDown() override {
    const Tally& t = Counts();
    if (t.runs == 0) return;
    std::printf("fault sweep: %zu operations x %zu paths = %d runs, %d invariant failures\n", t.operations.size(),
                t.paths.size(), t.runs, t.failures);
  }
};
[[maybe_unused]] ::testing::Environment* const kFigureReport =
    ::testing::AddGlobalTestEnvironment(new FigureReport);

// ---- one run ------------------------------------------------------------------------------

// Runs the path with the case's fault and returns every broken promise.
std::vector<std::string> RunAndCheck(const SweepCase& c, bool inject) {
  sim::Machine& m = sim::Machine::Get();
  Prepare(c.path);
  const Snapshot before = Take(m);
  if (inject) m.faults.Set(c.operation, c.Rule());
  const Outcome outcome = RunPath(c.path);

  Checker check(c, before, outcome);
  check.RunEnded();
  check.ForeignObjectsIntact();
  check.CallsNameOnlyFamilyObjects();
  check.HandlesClosed();
  switch (c.path) {
    case PathId::MonitorManual:
    case PathId::MonitorPnpOtherPort:
      check.InstallResultTruthful();
      break;
    case PathId::WindowWizard:
      check.InstallerWindowTruthful(false);
      break;
    case PathId::WindowExistingQueue:
      check.InstallerWindowTruthful(true);
      break;
    case PathId::UninstallWindow:
      check.UninstallTruthful();
      check.RecordsTruthful();
      break;
    case PathId::HandOff:  // may fall into the installer window
      check.InstallerWindowTruthful(false);
      check.UninstallTruthful();
      break;
    case PathId::Relaunch:
      check.UninstallTruthful();
      break;
    case PathId::SilentDriverStore:
    case PathId::SilentManual:  // a window only if a fault made the run the window's
      check.InstallerWindowTruthful(true);
      break;
  }
  // The inventory and the device list live until the process ends; their
  // reset gives back what they hold, so whatever is left was lost.
  ResetProgramState();
  check.AllocationsReleased();
  return check.broken;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += "\n  - " + l;
  return out;
}

class FaultSweep : public SimTest, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(FaultSweep, ProgramKeepsItsPromises) {
  const SweepCase& c = GetParam();
  const std::vector<std::string> broken = RunAndCheck(c, true);

  Tally& t = Counts();
  t.operations.insert(c.operation);
  t.paths.insert(static_cast<int>(c.path));
  ++t.runs;
  if (!broken.empty()) ++t.failures;

  if (const KnownFault* known = Known(c)) {
    if (!broken.empty()) GTEST_SKIP() << "known fault: " << known->fault << Join(broken);
    ADD_FAILURE() << "the known fault no longer shows; remove it from kKnownFaults: " << known->fault;
    return;
  }
  EXPECT_TRUE(broken.empty()) << c.Name() << Join(broken);
}

INSTANTIATE_TEST_SUITE_P(Sweep, FaultSweep, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<SweepCase>& param) { return param.param.Name(); });

// ---- the paths themselves ------------------------------------------------------------------

// Without faults each path does what it is there for, and every promise the
// sweep checks holds; otherwise the sweep would test a path that never
// reaches the code it claims to cover.
class SweepPaths : public SimTest {
 protected:
  std::vector<std::string> FaultFree(PathId path) {
    return RunAndCheck(SweepCase{path, "", FaultChoice{}, false}, false);
  }
  sim::Machine& Mach() { return sim::Machine::Get(); }
};

TEST_F(SweepPaths, SilentRunInstallsThroughTheDriverStore) {
  EXPECT_EQ(Join(FaultFree(PathId::SilentDriverStore)), "");
  const sim::SimQueue* queue = FindQueue(Mach(), kModel);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->info.pPortName, kPort);
  EXPECT_EQ(Mach().CallCount("AddPrinterW"), 0) << "Plug and Play made the queue";
  EXPECT_EQ(Mach().CallCount("ControlService"), 1) << "one restart, for the port not yet listed";
  EXPECT_TRUE(PackageInStore(Mach(), kStoredInf));
}

TEST_F(SweepPaths, SilentRunTakesTheManualPathPastAFileInUse) {
  EXPECT_EQ(Join(FaultFree(PathId::SilentManual)), "");
  const sim::SimQueue* queue = FindQueue(Mach(), kModel);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->info.pDriverName, kModel);
  EXPECT_EQ(Mach().CallCount("AddPrinterW"), 1);
  ASSERT_EQ(Mach().kernel.pendingRenames.size(), 1u);
  EXPECT_EQ(LastComponent(Mach().kernel.pendingRenames[0].target), u"korvdrv6ui.dll");
}

TEST_F(SweepPaths, LanguageMonitorModelGetsMonitorDriverAndQueue) {
  EXPECT_EQ(Join(FaultFree(PathId::MonitorManual)), "");
  EXPECT_EQ(Mach().kernel.files.at(Text(kSystemFolder) + u"\\korvmon.dll").content,
            sim::InstallerFileContent(u"amd64", u"korvmon.dll"));
  const os::DriverInfo8* driver = FindDriver(Mach(), kModel);
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->pMonitorName, kMonitor);
  ASSERT_NE(FindQueue(Mach(), kModel), nullptr);
  EXPECT_EQ(FindQueue(Mach(), kModel)->info.pPortName, kPort);
}

TEST_F(SweepPaths, QueueOnAnotherPortIsMovedAfterTheMonitorIsStaged) {
  EXPECT_EQ(Join(FaultFree(PathId::MonitorPnpOtherPort)), "");
  ASSERT_NE(FindQueue(Mach(), kModel), nullptr);
  EXPECT_EQ(FindQueue(Mach(), kModel)->info.pPortName, kPort);
  EXPECT_EQ(Mach().CallCount("AddPrinterW"), 0);
  EXPECT_EQ(Mach().kernel.files.count(Text(kSystemFolder) + u"\\korvmon.dll"), 1u);
}

TEST_F(SweepPaths, InstallerWindowStartsTheWizardAndClosesOnCancel) {
  EXPECT_EQ(Join(FaultFree(PathId::WindowWizard)), "");
  ASSERT_EQ(Mach().ui.dialogs.size(), 1u);
  EXPECT_EQ(Mach().ui.dialogs[0].closedAt, kWizardCancel);
  ASSERT_EQ(Mach().kernel.processes.size(), 1u);
  EXPECT_EQ(Mach().ui.foregroundRequests.size(), 1u);
}

TEST_F(SweepPaths, ExistingQueueIsReportedInstalledWithoutAnUpload) {
  EXPECT_EQ(Join(FaultFree(PathId::WindowExistingQueue)), "");
  EXPECT_EQ(U8(Mach().ui.dialogs.at(0).controls.at(IDC_INSTALLER_CANCEL).text), English(IDS_DONE));
  EXPECT_EQ(Mach().CallCount("UploadPrinterDriverPackageW"), 0);
}

TEST_F(SweepPaths, UninstallRemovesTheWholeFamilyAndNothingElse) {
  EXPECT_EQ(Join(FaultFree(PathId::UninstallWindow)), "");
  EXPECT_TRUE(Mach().spooler.queues.size() == 1 && Mach().spooler.queues[0].info.pPrinterName == kForeignQueue);
  EXPECT_EQ(FindDriver(Mach(), kModel), nullptr);
  EXPECT_EQ(FindDriver(Mach(), kSecondDriver), nullptr);
  EXPECT_FALSE(PackageInStore(Mach(), kStoredInf));
  EXPECT_EQ(Mach().shell.recycled, std::vector<Text>{u"C:\\Korvane"});
  ASSERT_EQ(Mach().ui.messageBoxes.size(), 1u);
  EXPECT_EQ(U8(Mach().ui.messageBoxes[0].text), English(IDS_UNINSTALLED));
  EXPECT_LT(Mach().ui.dialogs.at(0).closedAt, kSecondRemove) << "closed by itself after the first run";
}

TEST_F(SweepPaths, UninstallerCopyRelaunchesFromTheTemporaryFolder) {
  EXPECT_EQ(Join(FaultFree(PathId::Relaunch)), "");
  ASSERT_EQ(Mach().kernel.processes.size(), 1u);
  EXPECT_EQ(sim::SplitCommandLine(Mach().kernel.processes[0].commandLine).at(2), kInstallDir);
}

TEST_F(SweepPaths, InstalledFamilyHandsOverToTheUninstallerCopy) {
  EXPECT_EQ(Join(FaultFree(PathId::HandOff)), "");
  ASSERT_EQ(Mach().kernel.processes.size(), 1u);
  EXPECT_EQ(Mach().kernel.processes[0].commandLine, u"\"C:\\Korvane\\unins000.exe\"");
  EXPECT_TRUE(Mach().ui.dialogs.empty());
}

// Every operation of the boundary is reached by some path, so every one is
// swept; and every operation the program calls is on the list.
TEST(SweepCoverage, EveryOperationIsCalledOnSomePathAndListed) {
  std::vector<std::string> unreached;
  for (const auto& op : sim::OperationNames()) {
    bool called = false;
    for (const auto& [path, baseline] : Baselines()) called = called || baseline.calls.at(op) > 0;
    if (!called) unreached.push_back(op);
  }
  EXPECT_TRUE(unreached.empty()) << "operations no path calls: " << ::testing::PrintToString(unreached);
  for (const auto& [path, baseline] : Baselines()) {
    EXPECT_TRUE(baseline.unlisted.empty()) << Plan(path).name << " calls operations missing from operations.def: "
                                           << ::testing::PrintToString(baseline.unlisted);
  }
}

}  // namespace
}  // namespace korv::test::sweep
