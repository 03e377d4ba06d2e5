// The fault sweep: every boundary operation (platform/operations.def) failed on
// every call, then on its first call only, on every run path that calls it.
// Each run must end cleanly within its time bound, claim no false success, keep
// its records true, touch nothing not the family's, close and free everything.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <numeric>
#include <set>
#include <vector>

#include "sweep_checks.h"

namespace korv::test::sweep {
namespace {

struct SweepCase {
  PathId path;
  std::string operation;
  FaultChoice fault;
  bool firstCallOnly = false;
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << Plan(c.path).name << " " << c.operation; }

// Runs the path (with the case's fault) and returns every broken promise.
std::vector<std::string> RunAndCheck(const SweepCase& c) {
  sim::Machine& m = sim::Machine::Get();
  Prepare(c.path);
  const std::set<std::string> before = Facts(m);
  if (!c.operation.empty()) {
    m.faults.Set(c.operation, sim::FaultRule{c.fault.error, c.fault.hresult, c.firstCallOnly ? 1 : 0, 0});
  }
  const Outcome outcome = RunPath(c.path);
  Checker check(c.operation, c.fault.waivers, outcome);
  check.RunEnded(Plan(c.path));
  check.CallsNameOnlyFamilyObjects();
  for (const auto& line : ForeignLost(before, m)) check.Expect(false, line);
  switch (c.path) {
    case PathId::MonitorManual:
    case PathId::MonitorPnpOtherPort: check.InstallResultTruthful(); break;
    case PathId::UninstallWindow: check.UninstallTruthful(); check.RecordsTruthful(); break;
    case PathId::Relaunch: check.UninstallTruthful(); break;
    case PathId::HandOff: check.UninstallTruthful(); [[fallthrough]];  // may fall into the installer window
    case PathId::WindowWizard: check.InstallerWindowTruthful(false); break;
    default: check.InstallerWindowTruthful(true); break;  // the window only if a fault made the run the window's
  }
  // The inventory and device list live until the process ends; their reset
  // gives back what they hold, so whatever is left was lost.
  ResetProgramState();
  check.Expect(m.kernel.liveAllocations == 0, std::to_string(m.kernel.liveAllocations) + " blocks never released");
  return check.broken;
}

// The calls each path makes without faults, made once when the cases are
// generated (inside InitGoogleTest, after every static initialiser ran).
const std::map<PathId, std::vector<sim::CallRecord>>& Baselines() {
  static const auto baselines = [] {
    std::map<PathId, std::vector<sim::CallRecord>> all;
    for (const PathPlan& plan : PathPlans()) {
      sim::Machine::Reset();
      ResetProgramState();
      Prepare(plan.id);
      RunPath(plan.id);
      all[plan.id] = sim::Machine::Get().calls;
      ResetProgramState();
    }
    sim::Machine::Reset();
    return all;
  }();
  return baselines;
}

bool Calls(PathId path, const std::string& op) {
  const auto& calls = Baselines().at(path);
  return std::any_of(calls.begin(), calls.end(), [&](const auto& c) { return c.operation == op; });
}

std::vector<SweepCase> Cases() {
  std::vector<SweepCase> cases;
  for (const PathPlan& plan : PathPlans()) {
    for (const auto& op : sim::OperationNames()) {
      for (const FaultChoice& choice : Calls(plan.id, op) ? ChoicesFor(op) : std::vector<FaultChoice>{}) {
        for (bool first : {false, true}) cases.push_back(SweepCase{plan.id, op, choice, first});
      }
    }
  }
  return cases;
}

struct Tally {
  std::set<std::string> operations;
  std::set<PathId> paths;
  int runs = 0, failures = 0;
} tally;

class FigureReport : public ::testing::Environment {
 public:
  void TearDown() override {
    if (tally.runs == 0) return;
    std::printf("fault sweep: %zu operations x %zu paths = %d runs, %d invariant failures\n", tally.operations.size(),
                tally.paths.size(), tally.runs, tally.failures);
  }
};
[[maybe_unused]] ::testing::Environment* const kFigureReport = ::testing::AddGlobalTestEnvironment(new FigureReport);

std::string Join(const std::vector<std::string>& lines) {
  return std::accumulate(lines.begin(), lines.end(), std::string(), [](auto all, auto& l) { return all + "\n  - " + l; });
}

class FaultSweep : public SimTest, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(FaultSweep, ProgramKeepsItsPromises) {
  const std::vector<std::string> broken = RunAndCheck(GetParam());
  tally.operations.insert(GetParam().operation);
  tally.paths.insert(GetParam().path);
  ++tally.runs;
  tally.failures += broken.empty() ? 0 : 1;
  EXPECT_EQ(Join(broken), "");
}

INSTANTIATE_TEST_SUITE_P(Sweep, FaultSweep, ::testing::ValuesIn(Cases()), [](const auto& param) {
  const SweepCase& c = param.param;
  return std::string(Plan(c.path).name) + "_" + c.operation + "_" + c.fault.label + (c.firstCallOnly ? "_first" : "_every");
});

// Without faults each path reaches its goal and keeps every promise, or the
// sweep would cover code the path never reaches. Goals are parts of lines of
// what the machine holds and what a person saw.
struct PathGoal {
  PathId path;
  std::vector<std::string> present, absent;
  std::map<std::string, int> calls;
};

const std::vector<PathGoal> kGoals = {
    {PathId::SilentDriverStore, {"queue Korvane KV-T58 on USB001 with Korvane KV-T58 ", "driver store C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6"}, {},
     {{"AddPrinterW", 0}, {"ControlService", 1}}},  // one restart, for the port not yet listed
    {PathId::SilentManual, {"queue Korvane KV-T58 on USB001 with Korvane KV-T58 ", "-> C:\\Windows\\system32\\spool\\DRIVERS\\x64\\korvdrv6ui.dll"}, {},
     {{"AddPrinterW", 1}}},
    {PathId::MonitorManual, {"queue Korvane KV-T58 on USB001 with Korvane KV-T58 ",
      "driver Korvane KV-T58 monitor Language Monitor ", "file C:\\Windows\\system32\\korvmon.dll = "}, {}, {}},
    {PathId::MonitorPnpOtherPort, {"queue Korvane KV-T58 on USB001 ", "file C:\\Windows\\system32\\korvmon.dll = "}, {},
     {{"AddPrinterW", 0}}},
    {PathId::WindowWizard, {"window 106", "started rundll32.exe printui.dll"}, {}, {{"CreateProcessW", 1}}},
    {PathId::WindowExistingQueue, {"button 106/2 Done"}, {}, {{"UploadPrinterDriverPackageW", 0}}},
    {PathId::UninstallWindow, {"queue Contoso Front Desk", "recycled C:\\Korvane", "message The driver is uninstalled."},
     {"queue Korvane", "queue Shop counter", "driver Korvane", "driver store C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6"}, {{"MessageBoxW", 1}}},
    {PathId::Relaunch, {"started \"C:\\Users\\Shop\\AppData\\Local\\Temp\\uni"}, {}, {{"CreateProcessW", 1}}},
    {PathId::HandOff, {"started \"C:\\Korvane\\unins000.exe\""}, {"window "}, {{"CreateProcessW", 1}}},
};

class SweepPaths : public SimTest {};

TEST_F(SweepPaths, EachPathReachesItsGoalWithoutFaults) {
  for (const PathGoal& goal : kGoals) {
    SCOPED_TRACE(Plan(goal.path).name);
    sim::Machine& m = sim::Machine::Reset();
    ResetProgramState();
    EXPECT_EQ(Join(RunAndCheck(SweepCase{goal.path, "", {}, false})), "");
    std::set<std::string> seen = Facts(m);
    for (const auto& d : m.ui.dialogs) {
      const std::string window = std::to_string(d.templateId);
      seen.insert("window " + window);
      for (const auto& [id, c] : d.controls) seen.insert("button " + window + "/" + std::to_string(id) + " " + U8(c.text));
    }
    for (const auto& b : m.ui.messageBoxes) seen.insert("message " + U8(b.text));
    for (const auto& f : m.shell.recycled) seen.insert("recycled " + U8(f));
    for (const auto& p : m.kernel.processes) seen.insert("started " + U8(p.commandLine));
    auto anyHas = [&](const std::string& part) {
      return std::any_of(seen.begin(), seen.end(), [&](const std::string& s) { return s.find(part) != std::string::npos; });
    };
    for (const auto& part : goal.present) EXPECT_TRUE(anyHas(part)) << "missing: " << part;
    for (const auto& part : goal.absent) EXPECT_FALSE(anyHas(part)) << "left: " << part;
    for (const auto& [op, n] : goal.calls) EXPECT_EQ(m.CallCount(op), n) << op;
  }
}

// Every boundary operation is called on some path, so every one is swept;
// every operation called is on the list (but the one with no failure to inject).
TEST(SweepCoverage, EveryOperationIsCalledOnSomePathAndListed) {
  const auto& names = sim::OperationNames();
  for (const auto& op : names) {
    EXPECT_TRUE(std::any_of(PathPlans().begin(), PathPlans().end(), [&](auto& p) { return Calls(p.id, op); })) << op;
  }
  for (const auto& [path, calls] : Baselines()) {
    for (const auto& call : calls) {
      EXPECT_TRUE(std::count(names.begin(), names.end(), call.operation) == 1 || call.operation == "SHChangeNotify")
          << Plan(path).name << " calls " << call.operation << ", missing from operations.def";
    }
  }
}

}  // namespace
}  // namespace korv::test::sweep
