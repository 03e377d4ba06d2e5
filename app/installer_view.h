// The installer window as the installation worker's view: each state the
// worker reports becomes calls on the window's controls.
#pragma once

#include "install/install_view.h"
#include "platform/types.h"

namespace korv {

class InstallerWindowView final : public InstallView {
 public:
  constexpr explicit InstallerWindowView(Hwnd dialog) : dialog_(dialog) {}

  void ShowSearching() override;
  void ShowRefused() override;
  void ClearLog() override;
  // Progress positions are posted: the window's thread applies them in the
  // order they were set, without holding up the worker.
  void SetProgress(int position) override;
  void Report(const char16_t* text) override;
  void ShowLayout(bool found) override;
  void ShowDone() override;

 private:
  void Show(int control, bool visible);
  void SetText(int control, const char16_t* text);

  Hwnd dialog_;
};

}  // namespace korv
