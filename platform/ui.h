// Windows, dialogs, common controls, string and icon resources.
//
// Only what the program does with its two dialogs is here. Tree-view and
// progress-bar messages have thin helpers so that no caller packs a
// structure by hand.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace korv::os {

// Module instance handle (HINSTANCE).
using Instance = void*;
// Tree-view item handle (HTREEITEM). Null is the root.
using TreeItem = void*;

inline constexpr Dword WM_INITDIALOG = 0x0110;
inline constexpr Dword WM_COMMAND = 0x0111;
inline constexpr Dword WM_USER = 0x0400;
inline constexpr Dword EM_SETSEL = 0x00B1;
inline constexpr Dword EM_REPLACESEL = 0x00C2;
inline constexpr Dword PBM_SETPOS = 0x0402;
// Sent to a per-monitor aware window when its screen scale changes; the new
// dots per inch are in the low 16 bits of wParam.
inline constexpr Dword WM_DPICHANGED = 0x02E0;

// GetWindowLongW indexes and the style bits the program reads or changes.
inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;
inline constexpr Dword PBS_MARQUEE = 0x00000008;
inline constexpr Dword WS_EX_LAYOUTRTL = 0x00400000;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

inline constexpr Dword MB_OK = 0;
inline constexpr Dword MB_RIGHT = 0x00080000;
inline constexpr Dword MB_RTLREADING = 0x00100000;
inline constexpr int IDOK = 1;

// Dialog procedure. Returns non-zero for a handled message.
using DialogProc = std::intptr_t (*)(Hwnd window, Dword message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

// The instance handle of the running executable (what wWinMain receives).
Instance CurrentInstance();

// LoadStringW(instance, id, buffer, capacity): length copied (cut to
// capacity-1 and terminated), 0 when there is no such string.
int LoadStringW(Instance instance, Dword id, char16_t* buffer, int capacity);
// LoadIconW(instance, MAKEINTRESOURCE(id)): true when the icon loaded.
bool LoadIconW(Instance instance, Dword id);
// The icon resource `id` at the system's size for a caption (small) or for
// the task switcher (big), set on the window with WM_SETICON.
enum class IconSize { Small, Big };
bool SetWindowIcon(Hwnd window, Instance instance, Dword id, IconSize size);

// DialogBoxParamW(instance, MAKEINTRESOURCE(id), no owner, proc, param).
std::intptr_t DialogBoxParamW(Instance instance, Dword dialogId, DialogProc procedure,
                              std::intptr_t param);
bool EndDialog(Hwnd dialog, std::intptr_t result);
Hwnd GetDlgItem(Hwnd dialog, int controlId);

bool SetWindowTextW(Hwnd window, const char16_t* text);
int GetWindowTextLengthW(Hwnd window);
bool ShowWindow(Hwnd window, int command);
bool EnableWindow(Hwnd window, bool enable);
// GetWindowLongW / SetWindowLongW with GWL_STYLE or GWL_EXSTYLE. Set returns
// the previous value (0 on failure).
Dword GetWindowLongW(Hwnd window, int index);
Dword SetWindowLongW(Hwnd window, int index, Dword value);

// The dots per inch the window is shown at (96 at 100 %).
Dword GetDpiForWindow(Hwnd window);
// Shows the bitmap resource `bitmapId` in the picture control, resampled
// smoothly to width x height pixels (STM_SETIMAGE; the control takes that
// size). The adapter keeps the resampled bitmap alive while it is shown.
bool SetScaledPicture(Hwnd control, Instance instance, Dword bitmapId, int width, int height);

// SendMessageW / PostMessageW with plain numeric parameters. EM_REPLACESEL
// takes the text pointer as lParam.
std::intptr_t SendMessageW(Hwnd window, Dword message, std::uintptr_t wParam,
                           std::intptr_t lParam);
bool PostMessageW(Hwnd window, Dword message, std::uintptr_t wParam, std::intptr_t lParam);

// TVM_DELETEITEM(TVI_ROOT): every item of the tree.
bool TreeDeleteAllItems(Hwnd tree);
// TVM_INSERTITEMW{parent, TVI_LAST, TVIF_TEXT, text}. Null parent is the root.
TreeItem TreeInsertItem(Hwnd tree, TreeItem parent, const char16_t* text);
// TVM_EXPAND(TVE_EXPAND, item).
bool TreeExpandItem(Hwnd tree, TreeItem item);

// MessageBoxW(owner, text, caption or null for the default, type).
int MessageBoxW(Hwnd owner, const char16_t* text, const char16_t* caption, Dword type);

// EnumWindows over the top-level windows; the callback returns false to stop.
using WindowVisitor = bool (*)(Hwnd window, void* context);
void EnumWindows(WindowVisitor visitor, void* context);
// GetWindowThreadProcessId(window, &processId): the process id.
Dword GetWindowThreadProcessId(Hwnd window);
bool SetForegroundWindow(Hwnd window);

}  // namespace korv::os
