#include "app/installer_view.h"

#include <cstdint>

#include "app/installer_window.h"
#include "common/resource_ids.h"
#include "common/string_table.h"
#include "platform/ui.h"

namespace korv {

namespace {

constexpr int kProgressFull = 100;

}  // namespace

void InstallerWindowView::ShowSearching() {
  Show(IDC_PROGRESS, true);
  SetProgress(kProgressFull);
  SetText(IDC_STATUS, LoadText(IDS_SEARCHING).c_str());
  Show(IDC_CONNECTION_PICTURE, false);
}

void InstallerWindowView::ShowRefused() {
  Show(IDC_PROGRESS, true);
  // The picture would cover the error text, as on the normal path.
  Show(IDC_CONNECTION_PICTURE, false);
}

void InstallerWindowView::ClearLog() { SetText(IDC_LOG, u""); }

void InstallerWindowView::SetProgress(int position) {
  os::PostMessageW(os::GetDlgItem(dialog_, IDC_PROGRESS), os::PBM_SETPOS,
                   static_cast<std::uintptr_t>(position), 0);
}

void InstallerWindowView::Report(const char16_t* text) {
  AppendLogText(os::GetDlgItem(dialog_, IDC_LOG), text);
  SetText(IDC_STATUS, text);
}

void InstallerWindowView::ShowLayout(bool found) {
  Show(IDC_WIZARD, !found);
  Show(IDC_CONNECTION_PICTURE, !found);
  Show(IDC_LOG, found);
  Show(IDC_PROGRESS, found);
}

void InstallerWindowView::ShowDone() {
  SetProgress(kProgressFull);
  SetText(IDC_INSTALLER_CANCEL, LoadText(IDS_DONE).c_str());
}

void InstallerWindowView::Show(int control, bool visible) {
  os::ShowWindow(os::GetDlgItem(dialog_, control), visible ? os::SW_SHOW : os::SW_HIDE);
}

void InstallerWindowView::SetText(int control, const char16_t* text) {
  os::SetWindowTextW(os::GetDlgItem(dialog_, control), text);
}

}  // namespace korv
