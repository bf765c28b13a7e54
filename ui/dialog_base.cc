#include "ui/dialog_base.h"

#include <commctrl.h>

#include <algorithm>
#include <unordered_map>

#include "base/scoped_lock.h"

#include "install/window_protocol.h"
#include "ui/localized_strings.h"

namespace ostrel {
namespace {

// Whose each bound window is. This table, not the window procedure, tells:
// other code (the accessibility wrapper) may sub-class a bound window again.
// Not a window property: every message looks its window up, and a property
// costs a call into the system each time.
class BoundWindows {
 public:
  static BoundWindows& Get() {
    static BoundWindows* bound = new BoundWindows();  // windows may outlive static destructors
    return *bound;
  }
  DialogBase* Find(HWND window) {
    ScopedSharedLock lock(&lock_);
    auto found = objects_.find(window);
    return found == objects_.end() ? nullptr : found->second;
  }
  bool Add(HWND window, DialogBase* object) {
    ScopedExclusiveLock lock(&lock_);
    return objects_.emplace(window, object).second;
  }
  void Remove(HWND window, DialogBase* object) {
    ScopedExclusiveLock lock(&lock_);
    auto found = objects_.find(window);
    if (found != objects_.end() && found->second == object) objects_.erase(found);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::unordered_map<HWND, DialogBase*> objects_;
};

}  // namespace

DialogBase::DialogBase() : move_window_message_(::RegisterWindowMessageW(kMoveWindowMessageName)) {}

DialogBase::~DialogBase() { Unbind(); }

bool DialogBase::HandleMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

DialogBase* DialogBase::FromWindow(HWND window) {
  return window ? BoundWindows::Get().Find(window) : nullptr;
}

INT_PTR DialogBase::Run(HWND owner) {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TemplateId()),
                           owner ? owner : ::GetActiveWindow(), &DialogBase::DialogProcedure,
                           reinterpret_cast<LPARAM>(this));
}

HWND DialogBase::CreateChild(HWND parent, const RECT& rect, const wchar_t* name, DWORD style, DWORD ex_style,
                             const wchar_t* class_name) {
  HWND window = ::CreateWindowExW(ex_style, class_name, name, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (window) Bind(window);
  return window;
}

bool DialogBase::Bind(HWND window) {
  if (!window || window_ || !::IsWindow(window) || !BoundWindows::Get().Add(window, this)) return false;
  window_ = window;
  previous_procedure_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogBase::SubclassProcedure)));
  return true;
}

void DialogBase::Unbind() {
  if (!window_) return;
  if (FromWindow(window_) == this) {
    // Sub-classed again on top of this one, the chain stays as it is.
    if (::GetWindowLongPtrW(window_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&SubclassProcedure))
      ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_procedure_));
  }
  BoundWindows::Get().Remove(window_, this);
  window_ = nullptr;
}

INT_PTR CALLBACK DialogBase::DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<DialogBase*>(lparam);
  if (!self || !self->Bind(window)) return FALSE;
  LRESULT result = 0;
  self->HandleMessage(window, message, wparam, lparam, result);
  return FALSE;
}

LRESULT CALLBACK DialogBase::SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DialogBase* self = FromWindow(window);
  if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->OnMessage(message, wparam, lparam);
}

LRESULT DialogBase::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  WNDPROC previous = previous_procedure_;
  LRESULT result = 0;
  if (ReflectToControl(message, wparam, lparam, result)) return result;
  HandleDrag(message, wparam, lparam);
  if (HandleMessage(window, message, wparam, lparam, result)) return result;
  if (message == WM_NCDESTROY) {
    // The handle may be reused by a later window: forget it now.
    Unbind();
  }
  return ::CallWindowProcW(previous, window, message, wparam, lparam);
}

bool DialogBase::ReflectToControl(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  HWND control = nullptr;
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header && header->code == static_cast<UINT>(NM_CUSTOMDRAW)) control = header->hwndFrom;
  } else if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
    if (item) control = item->hwndItem;
  }
  if (!control || control == window_) return false;
  DialogBase* target = FromWindow(control);
  return target && target->HandleMessage(control, message, wparam, lparam, result);
}

bool DialogBase::HandleDrag(UINT message, WPARAM wparam, LPARAM lparam) {
  // Only borderless top-level windows move; a control keeps its clicks.
  if (::GetWindowLongW(window_, GWL_STYLE) & WS_CHILD) return false;
  switch (message) {
    case WM_CAPTURECHANGED:
      // Another window took the mouse (a dialog, the elevation prompt, a
      // task switch): the drag is over, whatever the button does later.
      if (reinterpret_cast<HWND>(lparam) != window_) dragging_ = false;
      return false;
    case WM_LBUTTONDOWN: {
      POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      ::ClientToScreen(window_, &point);
      last_cursor_ = point;
      ::SetCapture(window_);  // before the drag starts: taking it tells the old holder
      dragging_ = true;
      return true;
    }
    case WM_MOUSEMOVE: {
      if (!dragging_) return false;
      if (!(wparam & MK_LBUTTON)) {
        // The button went up where this window did not see it.
        dragging_ = false;
        ::ReleaseCapture();
        return false;
      }
      POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      ::ClientToScreen(window_, &point);
      RECT rect = {};
      ::GetWindowRect(window_, &rect);
      ::MoveWindow(window_, rect.left + point.x - last_cursor_.x, rect.top + point.y - last_cursor_.y,
                   rect.right - rect.left, rect.bottom - rect.top, TRUE);
      last_cursor_ = point;
      LRESULT ignored = 0;
      HandleMessage(window_, move_window_message_, 0, 0, ignored);
      return true;
    }
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      dragging_ = false;
      ::ReleaseCapture();
      return true;
    default:
      return false;
  }
}

void DialogBase::CenterWindow(HWND owner) {
  if (!window_) return;
  LONG style = ::GetWindowLongW(window_, GWL_STYLE);
  RECT reference = {};
  RECT bounds = {};
  if (style & WS_CHILD) {
    HWND parent = ::GetParent(window_);
    ::GetClientRect(parent, &reference);
    bounds = reference;
  } else {
    if (!owner) owner = ::GetWindow(window_, GW_OWNER);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    bounds = monitor.rcWork;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
      ::GetWindowRect(owner, &reference);
    } else {
      reference = bounds;
    }
  }
  RECT rect = {};
  ::GetWindowRect(window_, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int left = (reference.left + reference.right) / 2 - width / 2;
  int top = (reference.top + reference.bottom) / 2 - height / 2;
  left = std::max<int>(bounds.left, std::min<int>(left, bounds.right - width));
  top = std::max<int>(bounds.top, std::min<int>(top, bounds.bottom - height));
  ::SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOSIZE);
}

void DialogBase::SetItemText(int control_id, int string_id, LANGID language) {
  ::SetDlgItemTextW(window_, control_id, LoadUiString(string_id, language).c_str());
}

}  // namespace ostrel
