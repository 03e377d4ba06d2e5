// What the installation worker shows while it works. The worker only says
// what happened; the installer window turns that into its controls, and
// silent mode shows nothing at all (SilentInstallView).
#pragma once

namespace korv {

class InstallView {
 public:
  // The search begins: the progress bar shows, full, the status line says
  // that printers are searched for, and the connection picture gives way.
  virtual void ShowSearching() = 0;
  // The installation cannot start at all: the progress bar shows and the
  // connection picture gives way, so that the error reported next can be
  // read where the log would be.
  virtual void ShowRefused() = 0;
  // Each pass starts with an empty log.
  virtual void ClearLog() = 0;
  // A position of the progress bar, 0 to 100.
  virtual void SetProgress(int position) = 0;
  // A message, added to the log and shown as the status line.
  virtual void Report(const char16_t* text) = 0;
  // The searching layout (no supported printer connected: the "Wizard"
  // button and the connection picture) or the found layout (the log and the
  // progress bar).
  virtual void ShowLayout(bool found) = 0;
  // Every printer found is installed: progress full, "Cancel" becomes "Done".
  virtual void ShowDone() = 0;

 protected:
  // Views are never deleted through this interface; a view without a
  // destructor of its own can then live in static storage at no cost.
  ~InstallView() = default;
};

// Silent mode: the same work, nothing shown.
class SilentInstallView final : public InstallView {
 public:
  void ShowSearching() override {}
  void ShowRefused() override {}
  void ClearLog() override {}
  void SetProgress(int) override {}
  void Report(const char16_t*) override {}
  void ShowLayout(bool) override {}
  void ShowDone() override {}
};

}  // namespace korv
