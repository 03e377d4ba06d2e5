// Windows, dialogs, common controls and resources on the real API.
#include "platform/ui.h"

#include "platform/win32/adapt.h"

#include <commctrl.h>

namespace korv::os {

using win32::W;

namespace {

HWND Window(Hwnd window) { return static_cast<HWND>(window); }

// ---- dialog procedures ------------------------------------------------------
//
// The core's dialog procedure has the C++ calling convention; the system calls
// a CALLBACK one (they differ on 32-bit x86). Every dialog gets the same
// system-side procedure, which forwards to the core's. The core's procedure
// is kept in the dialog's DWLP_USER slot; until the dialog has one (the
// messages before and including WM_INITDIALOG), it is the one of the
// DialogBoxParamW call under way on this thread. The dialog's parameter goes
// through untouched.
thread_local DialogProc pendingProcedure = nullptr;

INT_PTR CALLBACK ForwardDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const DWORD error = ::GetLastError();
  auto procedure = reinterpret_cast<DialogProc>(::GetWindowLongPtrW(window, DWLP_USER));
  if (procedure == nullptr && pendingProcedure != nullptr) {
    procedure = pendingProcedure;
    ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(procedure));
  }
  ::SetLastError(error);
  if (procedure == nullptr) return FALSE;
  return procedure(window, message, wParam, lParam);
}

// ---- window walk ------------------------------------------------------------
struct WindowWalk {
  WindowVisitor visitor;
  void* context;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter) {
  const auto* walk = reinterpret_cast<const WindowWalk*>(parameter);
  return walk->visitor(window, walk->context) ? TRUE : FALSE;
}

}  // namespace

Instance CurrentInstance() { return ::GetModuleHandleW(nullptr); }

int LoadStringW(Instance instance, Dword id, char16_t* buffer, int capacity) {
  return ::LoadStringW(static_cast<HINSTANCE>(instance), id, W(buffer), capacity);
}

bool LoadIconW(Instance instance, Dword id) {
  return ::LoadIconW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(id)) != nullptr;
}

std::intptr_t DialogBoxParamW(Instance instance, Dword dialogId, DialogProc procedure,
                              std::intptr_t param) {
  win32::ErrorKeeper keep;  // thread-local storage may be reached through TlsGetValue
  DialogProc outer = pendingProcedure;  // a dialog opened from another one
  pendingProcedure = procedure;
  INT_PTR result = ::DialogBoxParamW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(dialogId),
                                     nullptr, ForwardDialogMessage, param);
  keep.Capture();
  pendingProcedure = outer;
  return result;
}

bool EndDialog(Hwnd dialog, std::intptr_t result) { return ::EndDialog(Window(dialog), result) != FALSE; }

Hwnd GetDlgItem(Hwnd dialog, int controlId) { return ::GetDlgItem(Window(dialog), controlId); }

bool SetWindowTextW(Hwnd window, const char16_t* text) {
  return ::SetWindowTextW(Window(window), W(text)) != FALSE;
}

int GetWindowTextLengthW(Hwnd window) { return ::GetWindowTextLengthW(Window(window)); }

bool ShowWindow(Hwnd window, int command) { return ::ShowWindow(Window(window), command) != FALSE; }

bool EnableWindow(Hwnd window, bool enable) {
  return ::EnableWindow(Window(window), enable ? TRUE : FALSE) != FALSE;
}

std::intptr_t SendMessageW(Hwnd window, Dword message, std::uintptr_t wParam, std::intptr_t lParam) {
  return ::SendMessageW(Window(window), message, wParam, lParam);
}

bool PostMessageW(Hwnd window, Dword message, std::uintptr_t wParam, std::intptr_t lParam) {
  return ::PostMessageW(Window(window), message, wParam, lParam) != FALSE;
}

bool TreeDeleteAllItems(Hwnd tree) {
  return ::SendMessageW(Window(tree), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)) != 0;
}

TreeItem TreeInsertItem(Hwnd tree, TreeItem parent, const char16_t* text) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent != nullptr ? static_cast<HTREEITEM>(parent) : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = win32::Writable(text);
  return reinterpret_cast<TreeItem>(
      ::SendMessageW(Window(tree), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool TreeExpandItem(Hwnd tree, TreeItem item) {
  return ::SendMessageW(Window(tree), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item)) != 0;
}

int MessageBoxW(Hwnd owner, const char16_t* text, const char16_t* caption, Dword type) {
  return ::MessageBoxW(Window(owner), W(text), W(caption), type);
}

void EnumWindows(WindowVisitor visitor, void* context) {
  WindowWalk walk{visitor, context};
  ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&walk));
}

Dword GetWindowThreadProcessId(Hwnd window) {
  DWORD processId = 0;
  ::GetWindowThreadProcessId(Window(window), &processId);
  return processId;
}

bool SetForegroundWindow(Hwnd window) { return ::SetForegroundWindow(Window(window)) != FALSE; }

}  // namespace korv::os
