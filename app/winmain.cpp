// Windows entry point of korvsetup.exe: makes the process safe to run
// elevated, then runs the program.
#include "app/entry_point.h"

#include "platform/win32/adapt.h"

#include <commctrl.h>

namespace {

// The program runs with administrator rights, and as the uninstaller it
// relaunches itself from the temporary folder, where anyone may have left a
// DLL named like a system one. From here on, DLLs are loaded from the system
// folder only: SetDefaultDllDirectories where the system has it (Windows 8,
// and Windows 7 with its loader update), and in any case the current folder
// is taken out of the search.
void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  FARPROC address = kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
  if (address != nullptr) {
    reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(address))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  ::SetDllDirectoryW(L"");
}

// The dialogs hold a tree view and a progress bar, whose window classes the
// common-controls library registers.
void RegisterCommonControls() {
  KORV_SYSTEM_FUNCTION(L"comctl32.dll", InitCommonControlsEx);
  if (pInitCommonControlsEx == nullptr) return;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS;
  pInitCommonControlsEx(&controls);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  RestrictDllSearch();
  RegisterCommonControls();
  return korv::RunProgram(instance, reinterpret_cast<const char16_t*>(commandLine));
}
