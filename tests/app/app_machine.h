// A machine to start the whole program on: the installer folder at
// C:\Korvane\ with the program itself, the temporary folder, and helpers to
// run the program and to see which run mode it took.
#pragma once

#include <string>
#include <vector>

#include "app/entry_point.h"
#include "common/globals.h"
#include "common/resource_ids.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_fixtures.h"
#include "platform/sim/usb_printers.h"
#include "platform/ui.h"
#include "sim_fixture.h"

namespace korv::test {

inline constexpr char16_t kAppFolder[] = u"C:\\Korvane\\";
inline constexpr char16_t kAppPath[] = u"C:\\Korvane\\korvsetup.exe";
inline constexpr char16_t kMutexName[] = u"TAPWISEINSTALLERFORPRINTERDRIVER";
inline constexpr char16_t kTempFolder[] = u"C:\\Users\\Shop\\AppData\\Local\\Temp\\";

class AppTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    Prepare();
  }

  // The current machine (tests that start afresh replace it).
  sim::Machine& M() { return sim::Machine::Get(); }

  // Ends the program's process on the current machine (its threads with it)
  // and starts again on a fresh machine, prepared like the first.
  void Fresh() {
    sim::Machine::Get().clock.EndProcess();
    sim::Machine::Reset();
    ResetProgramState();
    Prepare();
  }

  void Prepare() {
    sim::SetUpInstallerFolder(M(), kAppFolder);
    PlaceProgram(kAppPath);
    M().kernel.tempFolder = kTempFolder;
    M().kernel.folders.insert(u"C:\\Users\\Shop\\AppData\\Local\\Temp");
    // rundll32.exe, for the wizard.
    sim::PlaceSystemProgram(M(), u"rundll32.exe", "rundll32");
    // A run that would go on forever (a window nobody closes, a silent
    // search without a printer) is ended from outside at this time.
    M().clock.SetTimeLimit(120000);
  }

  // The running executable is at `path` (and the file exists there).
  void PlaceProgram(const Text& path) {
    M().kernel.modulePath = path;
    M().kernel.files[path] = sim::SimFile{"korvsetup program", false};
  }

  // Runs the program; a run ended from outside (time limit) gives -1.
  int Run(const char16_t* commandLine) {
    try {
      return RunProgram(os::CurrentInstance(), commandLine);
    } catch (const sim::ProcessEnded&) {
      return -1;
    }
  }

  // A driver of the family registered with the spooler, as an earlier
  // installation leaves it.
  void InstallFamilyDriver(const Text& name = u"Korvane KP-80") {
    os::DriverInfo8 d;
    d.cVersion = 3;
    d.pName = name;
    d.pEnvironment = u"Windows x64";
    d.pDriverPath = M().spooler.driverDirectory + u"\\3\\korvdrv6.dll";
    d.pszInfPath = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\korvv6.inf_amd64_1\\korvv6.inf";
    M().spooler.drivers.push_back(sim::SimDriver{d});
  }

  // A USB printer that reports `description` on port USB<port>.
  void Plug(const Text& description, Dword port, const Text& serial = u"S1") {
    sim::PlugUsbPrinter(M(), sim::UsbPrinterPath(u"2d37", u"0001", serial), description, port);
  }

  void Press(std::uint64_t at, Dword dialog, int control) {
    M().ui.presses.push_back(sim::ScriptedPress{at, dialog, control});
  }

  std::vector<Text> StartedCommandLines() {
    std::vector<Text> lines;
    for (const auto& p : M().kernel.processes) lines.push_back(p.commandLine);
    return lines;
  }

  // Position of the first call of `operation` in the call log, or -1.
  long FirstCall(const std::string& operation) {
    for (std::size_t i = 0; i < M().calls.size(); ++i) {
      if (M().calls[i].operation == operation) return static_cast<long>(i);
    }
    return -1;
  }

  // The dialogs opened, by template id.
  std::vector<Dword> DialogsOpened() {
    std::vector<Dword> ids;
    for (const auto& d : M().ui.dialogs) ids.push_back(d.templateId);
    return ids;
  }

  // Which of the five run modes the run took, from what it left behind.
  std::string ModeTaken() {
    const auto dialogs = DialogsOpened();
    if (!dialogs.empty()) return dialogs.front() == IDD_UNINSTALL ? "uninstall window" : "installer window";
    if (!M().kernel.processes.empty()) {
      const Text& line = M().kernel.processes.front().commandLine;
      return line.find(u" -u \"") != Text::npos ? "relaunch" : "hand-off";
    }
    if (M().CallCount("SetupDiGetClassDevsW") > 0) return "silent";
    return "nothing";
  }

  const sim::SimControl& Control(Dword dialog, int id) {
    for (const auto& d : M().ui.dialogs) {
      if (d.templateId == dialog) return d.controls.at(id);
    }
    throw std::runtime_error("dialog not opened");
  }
};

}  // namespace korv::test
