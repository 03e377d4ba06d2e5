// Windows, dialogs, common controls and resources on the real API.
#include "platform/ui.h"

#include "platform/win32/adapt.h"

#include <commctrl.h>

#include <map>

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

// ---- pictures ---------------------------------------------------------------
class GdiBitmap {
 public:
  explicit GdiBitmap(HBITMAP bitmap = nullptr) : bitmap_(bitmap) {}
  GdiBitmap(GdiBitmap&& other) noexcept : bitmap_(other.bitmap_) { other.bitmap_ = nullptr; }
  GdiBitmap& operator=(GdiBitmap&& other) noexcept {
    if (this != &other) {
      reset();
      bitmap_ = other.bitmap_;
      other.bitmap_ = nullptr;
    }
    return *this;
  }
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;
  ~GdiBitmap() { reset(); }
  void reset() {
    if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
    bitmap_ = nullptr;
  }
  HBITMAP get() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

class MemoryDc {
 public:
  MemoryDc() : dc_(::CreateCompatibleDC(nullptr)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) ::DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects a bitmap into a DC for the lifetime of the object.
class Selected {
 public:
  Selected(HDC dc, HBITMAP bitmap) : dc_(dc), previous_(::SelectObject(dc, bitmap)) {}
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;
  ~Selected() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A 24-bit bitmap: no alpha channel, so the static control shows it as it
// is instead of taking a copy.
HBITMAP NewBitmap24(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// The resampled bitmaps shown in picture controls, by control, owned here:
// a control does not delete an image it was given. Each is deleted when its
// control gets the next one; only the window's thread sets them.
std::map<HWND, GdiBitmap>& ShownPictures() {
  static std::map<HWND, GdiBitmap> shown;
  return shown;
}

}  // namespace

Instance CurrentInstance() { return ::GetModuleHandleW(nullptr); }

int LoadStringW(Instance instance, Dword id, char16_t* buffer, int capacity) {
  return ::LoadStringW(static_cast<HINSTANCE>(instance), id, W(buffer), capacity);
}

bool LoadIconW(Instance instance, Dword id) {
  return ::LoadIconW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(id)) != nullptr;
}

bool SetWindowIcon(Hwnd window, Instance instance, Dword id, IconSize size) {
  const bool big = size == IconSize::Big;
  // Shared: the system keeps the icon as long as the module is loaded.
  HANDLE icon = ::LoadImageW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(id), IMAGE_ICON,
                             ::GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON),
                             ::GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON), LR_SHARED);
  if (icon == nullptr) return false;
  ::SendMessageW(Window(window), WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  return true;
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

Dword GetWindowLongW(Hwnd window, int index) {
  return static_cast<Dword>(::GetWindowLongW(Window(window), index));
}

Dword SetWindowLongW(Hwnd window, int index, Dword value) {
  return static_cast<Dword>(::SetWindowLongW(Window(window), index, static_cast<LONG>(value)));
}

Dword GetDpiForWindow(Hwnd window) {
  // Windows 10 1607 and later. Before, every monitor has the system's scale.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto pGetDpiForWindow = win32::SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (pGetDpiForWindow != nullptr) return pGetDpiForWindow(Window(window));
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return static_cast<Dword>(dpi);
}

bool SetScaledPicture(Hwnd control, Instance instance, Dword bitmapId, int width, int height) {
  HWND picture = Window(control);
  GdiBitmap source(static_cast<HBITMAP>(::LoadImageW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(bitmapId),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  BITMAP drawn{};
  if (source.get() == nullptr || ::GetObjectW(source.get(), sizeof drawn, &drawn) == 0) return false;
  GdiBitmap scaled(NewBitmap24(width, height));
  MemoryDc from;
  MemoryDc to;
  if (scaled.get() == nullptr || from.get() == nullptr || to.get() == nullptr) return false;
  {
    Selected fromBitmap(from.get(), source.get());
    Selected toBitmap(to.get(), scaled.get());
    // Halftone averages the source pixels under each target pixel: smooth
    // lines at any scale, where the default mode repeats or drops pixels.
    ::SetStretchBltMode(to.get(), HALFTONE);
    ::SetBrushOrgEx(to.get(), 0, 0, nullptr);
    ::StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, drawn.bmWidth, drawn.bmHeight, SRCCOPY);
  }
  auto& shown = ShownPictures();
  const HBITMAP mine = scaled.get();
  const auto previous = reinterpret_cast<HBITMAP>(
      ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(mine)));
  // The control hands back what it showed: the template's bitmap the first
  // time (loaded by the control for itself, and now shown nowhere), else the
  // one set before, which is deleted with its entry below.
  auto it = shown.find(picture);
  if (previous != nullptr && (it == shown.end() || it->second.get() != previous)) ::DeleteObject(previous);
  shown[picture] = std::move(scaled);
  return true;
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
