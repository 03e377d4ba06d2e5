// Windows, dialogs, common controls and string resources on the simulated
// machine.
//
// A dialog is a SimDialog made from the generated dialog templates in the
// user-interface language. DialogBoxParamW runs its message loop on the
// calling thread: it delivers the messages posted to the dialog and its
// controls, in the order they were posted, and the scripted button presses
// when their virtual time comes, and waits on the virtual clock in between,
// so other simulated threads (the workers) run while the dialog waits, as
// they would while a person looks at the window.
//
// Every change a person could see (a text, a control shown or hidden,
// enabled or disabled, a progress position, a log line, a tree item, a
// message box, a window brought to the front) appends one WindowEvent.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/program_resources.h"
#include "platform/ui.h"

namespace korv::sim {

namespace {

// The program's resources, handed in by whoever runs it on the machine.
ProgramResources& Resources() {
  static ProgramResources resources;
  return resources;
}

}  // namespace

void UseProgramResources(const ProgramResources& resources) { Resources() = resources; }

}  // namespace korv::sim

namespace korv::os {

using sim::DialogControl;
using sim::DialogTemplate;
using sim::Machine;
using sim::SimControl;
using sim::SimDialog;
using sim::SimTreeItem;

namespace {

Machine& M() { return Machine::Get(); }

constexpr Dword kErrorInvalidWindowHandle = 1400;
constexpr Dword kErrorControlIdNotFound = 1421;
constexpr Dword kErrorResourceNameNotFound = 1814;
constexpr Dword kErrorInvalidHandle = 6;

constexpr Dword WM_CLOSE = 0x0010;
constexpr int IDCANCEL = 2;
constexpr std::uint32_t kStyleVisible = 0x10000000;
constexpr std::uint32_t kStyleDisabled = 0x08000000;

// The instance handle of the simulated executable.
Instance const kInstance = reinterpret_cast<Instance>(std::uintptr_t{0x00400000});
// Top-level windows of started processes get handles from this base on.
constexpr std::uintptr_t kProcessWindowBase = 0x00F00000;

void Fail(Dword error) { sim::ThreadLastError() = error; }

Hwnd ToHwnd(std::uintptr_t handle) { return reinterpret_cast<Hwnd>(handle); }
std::uintptr_t FromHwnd(Hwnd window) { return reinterpret_cast<std::uintptr_t>(window); }

Text Decimal(long long value) {
  std::string digits = std::to_string(value);
  return Text(digits.begin(), digits.end());
}

// A text in quotes on one line, as a person would read it: line breaks and
// tabs are shown as \r, \n and \t, everything else as it is.
Text Quoted(std::u16string_view text) {
  Text out = u"\"";
  for (char16_t c : text) {
    switch (c) {
      case u'\r': out += u"\\r"; break;
      case u'\n': out += u"\\n"; break;
      case u'\t': out += u"\\t"; break;
      default: out += c;
    }
  }
  out += u"\"";
  return out;
}

void Event(Dword dialogId, int controlId, Text what) {
  M().ui.events.push_back(sim::WindowEvent{M().clock.Now(), dialogId, controlId, std::move(what)});
}

Text Where(const SimDialog& dialog, const SimControl* control) {
  Text where = Decimal(dialog.templateId);
  if (control != nullptr) where += u"/" + Decimal(control->id);
  return where;
}

void ControlEvent(const SimDialog& dialog, const SimControl& control, const Text& what) {
  Event(dialog.templateId, control.id, Where(dialog, &control) + u" " + what);
}

// ---- resources --------------------------------------------------------------

// The user-interface language picks the resources, with the resource
// loader's fallbacks (done by the program's resources themselves).
const char16_t* FindString(Dword id) {
  const auto load = sim::Resources().loadText;
  return id > 0xFFFF || load == nullptr ? nullptr : load(M().ui.uiLanguage, static_cast<std::uint16_t>(id));
}

const DialogTemplate* FindDialogTemplate(Dword id) {
  const auto load = sim::Resources().loadDialog;
  return id > 0xFFFF || load == nullptr ? nullptr : load(M().ui.uiLanguage, static_cast<std::uint16_t>(id));
}

bool KnownInstance(Instance instance) { return instance == kInstance || instance == nullptr; }

// ---- windows ------------------------------------------------------------------

SimDialog* DialogOf(Hwnd window) {
  const std::uintptr_t h = FromHwnd(window);
  for (auto& d : M().ui.dialogs) {
    if (!d.ended && d.handle == h) return &d;
  }
  return nullptr;
}

struct ControlRef {
  SimDialog* dialog = nullptr;
  SimControl* control = nullptr;
};

ControlRef ControlOf(Hwnd window) {
  const std::uintptr_t h = FromHwnd(window);
  for (auto& d : M().ui.dialogs) {
    if (d.ended) continue;
    for (auto& [id, c] : d.controls) {
      if (c.handle == h) return {&d, &c};
    }
  }
  return {};
}

bool IsProgressBar(const SimControl& c) { return c.className == u"msctls_progress32"; }
bool IsEdit(const SimControl& c) { return sim::EqualNoCase(c.className, u"Edit"); }

std::intptr_t ApplyControlMessage(SimDialog& dialog, SimControl& control, Dword message,
                                  std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == PBM_SETPOS && IsProgressBar(control)) {
    // With common controls 6 (the program's manifest asks for them) a bar
    // with PBS_MARQUEE is a marquee: it shows no position, keeps none, and
    // answers 0.
    if ((control.style & PBS_MARQUEE) != 0) return 0;
    const int previous = control.progress;
    const int position = std::clamp(static_cast<int>(static_cast<std::intptr_t>(wParam)), 0, 100);
    if (position != control.progress) {
      control.progress = position;
      ControlEvent(dialog, control,
                   u"progress " + Decimal(position) + (control.visible ? Text() : Text(u" (hidden)")));
    }
    return previous;
  }
  if (message == EM_SETSEL && IsEdit(control)) {
    // EM_SETSEL(-1, ...) removes the selection; positions past the end
    // mean the end.
    const std::size_t length = control.text.size();
    auto clampPos = [length](std::uintptr_t v) {
      const auto signedValue = static_cast<std::intptr_t>(v);
      return signedValue < 0 ? length : std::min<std::size_t>(v, length);
    };
    std::size_t start = clampPos(wParam);
    std::size_t end = clampPos(static_cast<std::uintptr_t>(lParam));
    if (static_cast<std::intptr_t>(wParam) == -1) start = end = control.selEnd;
    control.selStart = std::min(start, end);
    control.selEnd = std::max(start, end);
    return 0;
  }
  if (message == EM_REPLACESEL && IsEdit(control)) {
    const auto* text = reinterpret_cast<const char16_t*>(lParam);
    Text inserted = text != nullptr ? Text(text) : Text();
    const std::size_t start = std::min(control.selStart, control.text.size());
    const std::size_t end = std::min(control.selEnd, control.text.size());
    control.text.replace(start, end - start, inserted);
    control.selStart = control.selEnd = start + inserted.size();
    if (!inserted.empty() || end != start) {
      const bool atEnd = start + inserted.size() == control.text.size() && end == start;
      ControlEvent(dialog, control,
                   (atEnd ? Text(u"append ") : Text(u"replace ")) + Quoted(inserted) +
                       (control.visible ? Text() : Text(u" (hidden)")));
    }
    return 0;
  }
  return 0;
}

// Delivers one message to the dialog procedure or applies it to a control.
void Deliver(std::size_t dialogIndex, DialogProc procedure, const sim::SimMessage& m) {
  SimDialog& dialog = M().ui.dialogs[dialogIndex];
  if (m.target == dialog.handle) {
    procedure(ToHwnd(dialog.handle), m.message, m.wParam, m.lParam);
    return;
  }
  for (auto& [id, control] : dialog.controls) {
    if (control.handle == m.target) {
      ApplyControlMessage(dialog, control, m.message, m.wParam, m.lParam);
      return;
    }
  }
}

// Makes one scripted press on the dialog.
void Press(std::size_t dialogIndex, DialogProc procedure, const sim::ScriptedPress& press) {
  SimDialog& dialog = M().ui.dialogs[dialogIndex];
  const Hwnd window = ToHwnd(dialog.handle);
  if (press.closeBox) {
    Event(dialog.templateId, 0, Decimal(dialog.templateId) + u" close box pressed");
    // A procedure that answers WM_CLOSE with TRUE has handled it; otherwise
    // the dialog manager turns it into Cancel.
    if (procedure(window, WM_CLOSE, 0, 0) != 0) return;
    SimDialog& again = M().ui.dialogs[dialogIndex];
    if (again.ended) return;
    auto cancel = again.controls.find(IDCANCEL);
    if (cancel != again.controls.end() && !cancel->second.enabled) {
      Event(again.templateId, 0, Decimal(again.templateId) + u" close box ignored (Cancel disabled)");
      return;
    }
    const std::uintptr_t cancelHandle = cancel != again.controls.end() ? cancel->second.handle : 0;
    procedure(window, WM_COMMAND, IDCANCEL, static_cast<std::intptr_t>(cancelHandle));
    return;
  }
  auto it = dialog.controls.find(press.controlId);
  if (it == dialog.controls.end()) {
    Event(dialog.templateId, press.controlId,
          Decimal(dialog.templateId) + u"/" + Decimal(press.controlId) + u" press ignored (no such control)");
    return;
  }
  SimControl& control = it->second;
  if (!control.visible || !control.enabled) {
    ControlEvent(dialog, control,
                 Text(u"press ignored (") + (control.visible ? u"disabled" : u"hidden") + u")");
    return;
  }
  ControlEvent(dialog, control, u"pressed " + Quoted(control.text));
  const auto wParam = static_cast<std::uintptr_t>(static_cast<std::uint16_t>(control.id));
  procedure(window, WM_COMMAND, wParam, static_cast<std::intptr_t>(control.handle));
}

// The next scripted press of this dialog not yet made, or null.
sim::ScriptedPress* NextPress(Dword dialogId) {
  sim::ScriptedPress* next = nullptr;
  for (auto& p : M().ui.presses) {
    if (p.delivered || p.dialogId != dialogId) continue;
    if (next == nullptr || p.at < next->at) next = &p;
  }
  return next;
}

SimTreeItem* FindItem(std::vector<SimTreeItem>& items, std::uintptr_t handle) {
  for (auto& item : items) {
    if (item.handle == handle) return &item;
    if (SimTreeItem* found = FindItem(item.children, handle)) return found;
  }
  return nullptr;
}

// Level of the item in the tree (0 for a root item), -1 when absent.
int DepthOf(const std::vector<SimTreeItem>& items, std::uintptr_t handle, int level) {
  for (const auto& item : items) {
    if (item.handle == handle) return level;
    const int found = DepthOf(item.children, handle, level + 1);
    if (found >= 0) return found;
  }
  return -1;
}

Dword ProcessOfWindow(std::uintptr_t handle) {
  for (const auto& p : M().kernel.processes) {
    if (handle == kProcessWindowBase + p.processId) return p.processId;
  }
  return 0;
}

bool ProcessWindowShown(const sim::StartedProcess& p) {
  return p.startedAt + M().ui.childWindowDelayMs <= M().clock.Now();
}

}  // namespace

Instance CurrentInstance() { return kInstance; }

int LoadStringW(Instance instance, Dword id, char16_t* buffer, int capacity) {
  if (M().Enter("LoadStringW", Decimal(id))) return 0;
  if (buffer == nullptr || capacity <= 0) return 0;
  const char16_t* text = KnownInstance(instance) ? FindString(id) : nullptr;
  if (text == nullptr) {
    Fail(kErrorResourceNameNotFound);
    return 0;
  }
  std::size_t n = std::char_traits<char16_t>::length(text);
  n = std::min<std::size_t>(n, static_cast<std::size_t>(capacity - 1));
  std::memcpy(buffer, text, n * sizeof(char16_t));
  buffer[n] = 0;
  return static_cast<int>(n);
}

bool LoadIconW(Instance instance, Dword id) {
  if (M().Enter("LoadIconW", Decimal(id))) return false;
  if (!KnownInstance(instance) || id != 102) {
    Fail(kErrorResourceNameNotFound);
    return false;
  }
  return true;
}

bool SetWindowIcon(Hwnd window, Instance instance, Dword id, IconSize size) {
  if (M().Enter("SetWindowIcon", Decimal(id))) return false;
  SimDialog* d = DialogOf(window);
  if (d == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  if (!KnownInstance(instance) || id != 102) {
    Fail(kErrorResourceNameNotFound);
    return false;
  }
  (size == IconSize::Big ? d->bigIcon : d->smallIcon) = id;
  return true;
}

std::intptr_t DialogBoxParamW(Instance instance, Dword dialogId, DialogProc procedure,
                              std::intptr_t param) {
  if (M().Enter("DialogBoxParamW", Decimal(dialogId))) return -1;
  const DialogTemplate* tmpl = KnownInstance(instance) ? FindDialogTemplate(dialogId) : nullptr;
  if (tmpl == nullptr || procedure == nullptr) {
    Fail(kErrorResourceNameNotFound);
    return -1;
  }

  auto& ui = M().ui;
  SimDialog fresh;
  fresh.templateId = dialogId;
  fresh.handle = ui.nextHandle++;
  fresh.caption = tmpl->caption;
  fresh.exStyle = tmpl->exStyle;
  fresh.openedAt = M().clock.Now();
  fresh.procedure = procedure;
  for (std::size_t i = 0; i < tmpl->controlCount; ++i) {
    const DialogControl& c = tmpl->controls[i];
    SimControl control;
    control.id = c.id;
    control.handle = ui.nextHandle++;
    control.className = c.cls;
    control.text = c.text;
    control.style = c.style;
    control.exStyle = c.exStyle;
    control.visible = (c.style & kStyleVisible) != 0;
    control.enabled = (c.style & kStyleDisabled) == 0;
    fresh.controls[c.id] = control;
  }
  ui.dialogs.push_back(std::move(fresh));
  const std::size_t index = ui.dialogs.size() - 1;
  const Hwnd window = ToHwnd(ui.dialogs[index].handle);
  Event(dialogId, 0, Decimal(dialogId) + u" opens " + Quoted(ui.dialogs[index].caption));

  procedure(window, WM_INITDIALOG, 0, param);

  bool yielded = false;
  for (;;) {
    SimDialog& dialog = M().ui.dialogs[index];
    if (dialog.ended) break;
    if (!dialog.queue.empty()) {
      sim::SimMessage m = dialog.queue.front();
      dialog.queue.pop_front();
      Deliver(index, procedure, m);
      continue;
    }
    sim::ScriptedPress* press = NextPress(dialogId);
    if (press != nullptr && press->at <= M().clock.Now()) {
      // A person reacts to what the window shows: threads that can run at
      // this moment (a worker the dialog just started) run first.
      if (!yielded) {
        yielded = true;
        M().clock.Sleep(0);
        continue;
      }
      yielded = false;
      press->delivered = true;
      const sim::ScriptedPress made = *press;
      Press(index, procedure, made);
      continue;
    }
    // Nothing to do now: wait for a posted message or the next press. Only
    // another simulated thread can post, and it runs while this one waits.
    const std::uint64_t deadline = press != nullptr ? press->at : sim::Scheduler::kForever;
    const std::function<bool()> ready = [index] {
      const SimDialog& d = Machine::Get().ui.dialogs[index];
      return d.ended || !d.queue.empty();
    };
    M().clock.WaitUntil(ready, deadline);
  }

  SimDialog& dialog = M().ui.dialogs[index];
  dialog.queue.clear();
  dialog.closedAt = M().clock.Now();
  Event(dialogId, 0, Decimal(dialogId) + u" closes (" + Decimal(dialog.result) + u")");
  return dialog.result;
}

bool EndDialog(Hwnd dialog, std::intptr_t result) {
  SimDialog* d = DialogOf(dialog);
  if (d == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  d->ended = true;
  d->result = result;
  return true;
}

Hwnd GetDlgItem(Hwnd dialog, int controlId) {
  SimDialog* d = DialogOf(dialog);
  if (d == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return nullptr;
  }
  auto it = d->controls.find(controlId);
  if (it == d->controls.end()) {
    Fail(kErrorControlIdNotFound);
    return nullptr;
  }
  return ToHwnd(it->second.handle);
}

bool SetWindowTextW(Hwnd window, const char16_t* text) {
  Text value = text != nullptr ? Text(text) : Text();
  if (M().Enter("SetWindowTextW", value)) return false;
  if (SimDialog* d = DialogOf(window)) {
    if (d->caption != value) {
      d->caption = value;
      Event(d->templateId, 0, Decimal(d->templateId) + u" caption " + Quoted(value));
    }
    return true;
  }
  ControlRef ref = ControlOf(window);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  if (ref.control->text != value) {
    ref.control->text = value;
    ControlEvent(*ref.dialog, *ref.control,
                 u"text " + Quoted(value) + (ref.control->visible ? Text() : Text(u" (hidden)")));
  }
  ref.control->selStart = ref.control->selEnd = 0;
  return true;
}

int GetWindowTextLengthW(Hwnd window) {
  if (SimDialog* d = DialogOf(window)) return static_cast<int>(d->caption.size());
  ControlRef ref = ControlOf(window);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return 0;
  }
  return static_cast<int>(ref.control->text.size());
}

bool ShowWindow(Hwnd window, int command) {
  if (M().Enter("ShowWindow", Decimal(command))) return false;
  ControlRef ref = ControlOf(window);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  const bool wasVisible = ref.control->visible;
  const bool visible = command != SW_HIDE;
  if (visible != wasVisible) {
    ref.control->visible = visible;
    ControlEvent(*ref.dialog, *ref.control, visible ? u"shown" : u"hidden");
  }
  return wasVisible;
}

bool EnableWindow(Hwnd window, bool enable) {
  if (M().Enter("EnableWindow", enable ? u"enable" : u"disable")) return false;
  ControlRef ref = ControlOf(window);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  const bool wasDisabled = !ref.control->enabled;
  if (enable != ref.control->enabled) {
    ref.control->enabled = enable;
    ControlEvent(*ref.dialog, *ref.control, enable ? u"enabled" : u"disabled");
  }
  return wasDisabled;
}

// The style bits GetWindowLongW and SetWindowLongW reach for a window and
// index; null for an index the window does not keep, or (failing with
// ERROR_INVALID_WINDOW_HANDLE) for a window that does not exist.
static std::uint32_t* StyleBits(Hwnd window, int index) {
  if (SimDialog* d = DialogOf(window)) {
    // The dialog's own style is the template's common one; only its
    // extended style is kept here.
    return index == GWL_EXSTYLE ? &d->exStyle : nullptr;
  }
  if (ControlRef ref = ControlOf(window); ref.control != nullptr) {
    return index == GWL_STYLE ? &ref.control->style : index == GWL_EXSTYLE ? &ref.control->exStyle : nullptr;
  }
  Fail(kErrorInvalidWindowHandle);
  return nullptr;
}

Dword GetWindowLongW(Hwnd window, int index) {
  const std::uint32_t* bits = StyleBits(window, index);
  return bits != nullptr ? *bits : 0;
}

Dword SetWindowLongW(Hwnd window, int index, Dword value) {
  if (M().Enter("SetWindowLongW", Decimal(index))) return 0;
  std::uint32_t* bits = StyleBits(window, index);
  if (bits == nullptr) return 0;
  const Dword previous = *bits;
  *bits = value;
  if (ControlRef ref = ControlOf(window); ref.control != nullptr && index == GWL_STYLE) {
    ref.control->visible = (value & kStyleVisible) != 0;
    ref.control->enabled = (value & kStyleDisabled) == 0;
  }
  return previous;
}

Dword GetDpiForWindow(Hwnd window) {
  (void)window;
  return M().ui.dpi;
}

bool SetScaledPicture(Hwnd control, Instance instance, Dword bitmapId, int width, int height) {
  if (M().Enter("SetScaledPicture", Decimal(bitmapId))) return false;
  ControlRef ref = ControlOf(control);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  const Text image = u"#" + Decimal(bitmapId);
  if (!KnownInstance(instance) || ref.control->text != image || width <= 0 || height <= 0) {
    Fail(kErrorResourceNameNotFound);
    return false;
  }
  ref.control->pictureWidth = width;
  ref.control->pictureHeight = height;
  return true;
}

std::intptr_t SendMessageW(Hwnd window, Dword message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (SimDialog* d = DialogOf(window)) {
    // Sent to the dialog: its procedure runs at once, as on the window's
    // thread while the sender waits (only one simulated thread runs at a
    // time, so running it on the sender's thread is the same).
    return d->procedure(window, message, wParam, lParam);
  }
  ControlRef ref = ControlOf(window);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return 0;
  }
  return ApplyControlMessage(*ref.dialog, *ref.control, message, wParam, lParam);
}

bool PostMessageW(Hwnd window, Dword message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (M().Enter("PostMessageW", Decimal(message))) return false;
  if (SimDialog* d = DialogOf(window)) {
    d->queue.push_back(sim::SimMessage{message, wParam, lParam, d->handle});
    return true;
  }
  ControlRef ref = ControlOf(window);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  ref.dialog->queue.push_back(sim::SimMessage{message, wParam, lParam, ref.control->handle});
  return true;
}

bool TreeDeleteAllItems(Hwnd tree) {
  ControlRef ref = ControlOf(tree);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  if (!ref.control->tree.empty()) {
    ref.control->tree.clear();
    ControlEvent(*ref.dialog, *ref.control, u"tree cleared");
  }
  return true;
}

TreeItem TreeInsertItem(Hwnd tree, TreeItem parent, const char16_t* text) {
  Text value = text != nullptr ? Text(text) : Text();
  if (M().Enter("TreeInsertItem", value)) return nullptr;
  ControlRef ref = ControlOf(tree);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return nullptr;
  }
  std::vector<SimTreeItem>* siblings = &ref.control->tree;
  int depth = 0;
  if (parent != nullptr) {
    SimTreeItem* p = FindItem(ref.control->tree, FromHwnd(parent));
    if (p == nullptr) {
      Fail(kErrorInvalidHandle);
      return nullptr;
    }
    siblings = &p->children;
    depth = DepthOf(ref.control->tree, FromHwnd(parent), 0) + 1;
  }
  SimTreeItem item;
  item.handle = M().ui.nextHandle++;
  item.text = value;
  siblings->push_back(item);
  ControlEvent(*ref.dialog, *ref.control,
               u"tree item " + Text(static_cast<std::size_t>(depth) * 2, u' ') + Quoted(value));
  return ToHwnd(item.handle);
}

bool TreeExpandItem(Hwnd tree, TreeItem item) {
  ControlRef ref = ControlOf(tree);
  if (ref.control == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  SimTreeItem* found = FindItem(ref.control->tree, FromHwnd(item));
  if (found == nullptr) return false;
  found->expanded = true;
  return true;
}

int MessageBoxW(Hwnd owner, const char16_t* text, const char16_t* caption, Dword type) {
  (void)owner;
  Text body = text != nullptr ? Text(text) : Text();
  if (M().Enter("MessageBoxW", body)) return 0;
  auto& ui = M().ui;
  int answer = IDOK;
  if (!ui.messageBoxAnswers.empty()) {
    answer = ui.messageBoxAnswers.front();
    ui.messageBoxAnswers.pop_front();
  }
  Text title = caption != nullptr ? Text(caption) : Text();
  ui.messageBoxes.push_back(sim::ShownMessageBox{body, title, type, M().clock.Now(), answer});
  Event(0, 0, u"message box " + Quoted(title.empty() ? Text(u"Error") : title) + u": " + Quoted(body) +
                  u" -> " + Decimal(answer));
  return answer;
}

void EnumWindows(WindowVisitor visitor, void* context) {
  // The program's own open dialogs are in front; then the windows of the
  // processes it started, newest first, once each has had time to open.
  std::vector<std::uintptr_t> windows;
  for (auto it = M().ui.dialogs.rbegin(); it != M().ui.dialogs.rend(); ++it) {
    if (!it->ended) windows.push_back(it->handle);
  }
  const auto& processes = M().kernel.processes;
  for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
    if (ProcessWindowShown(*it)) windows.push_back(kProcessWindowBase + it->processId);
  }
  for (std::uintptr_t w : windows) {
    if (!visitor(ToHwnd(w), context)) break;
  }
}

Dword GetWindowThreadProcessId(Hwnd window) {
  if (DialogOf(window) != nullptr) return M().ui.ownProcessId;
  if (ControlOf(window).control != nullptr) return M().ui.ownProcessId;
  return ProcessOfWindow(FromHwnd(window));
}

bool SetForegroundWindow(Hwnd window) {
  if (M().Enter("SetForegroundWindow")) return false;
  Dword pid = GetWindowThreadProcessId(window);
  if (pid == 0) {
    Fail(kErrorInvalidWindowHandle);
    return false;
  }
  M().ui.foregroundRequests.emplace_back(pid, M().clock.Now());
  Event(0, 0, u"window of process " + Decimal(pid) + u" brought to the front");
  return true;
}

}  // namespace korv::os
