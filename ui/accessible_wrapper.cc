#include "ui/accessible_wrapper.h"

#include <unordered_map>

namespace ostrel {
namespace {

std::unordered_map<HWND, AccessibleWrapper*>& WrapperMap() {
  static std::unordered_map<HWND, AccessibleWrapper*> map;
  return map;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

}  // namespace

AccessibleWrapper* AccessibleWrapper::Attach(HWND window, long role, std::wstring name) {
  if (!window || WrapperMap().count(window)) return nullptr;
  return new AccessibleWrapper(window, role, std::move(name));
}

AccessibleWrapper::AccessibleWrapper(HWND window, long role, std::wstring name)
    : window_(window), role_(role), name_(std::move(name)) {
  // Before sub-classing, so the window's own answer builds the standard object.
  ::AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard_));
  WrapperMap()[window] = this;
  previous_procedure_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AccessibleWrapper::SubclassProcedure)));
}

AccessibleWrapper::~AccessibleWrapper() {
  if (standard_) standard_->Release();
}

void AccessibleWrapper::Detach() {
  if (window_) {
    if (::IsWindow(window_) &&
        ::GetWindowLongPtrW(window_, GWLP_WNDPROC) ==
            reinterpret_cast<LONG_PTR>(&AccessibleWrapper::SubclassProcedure)) {
      ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_procedure_));
    }
    WrapperMap().erase(window_);
    window_ = nullptr;
  }
  Release();
}

LRESULT CALLBACK AccessibleWrapper::SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto found = WrapperMap().find(window);
  if (found == WrapperMap().end()) return ::DefWindowProcW(window, message, wparam, lparam);
  AccessibleWrapper* self = found->second;
  if (message == WM_GETOBJECT && static_cast<LONG>(lparam) == OBJID_CLIENT &&
      (!self->name_.empty() || self->role_ != 0)) {
    return ::LresultFromObject(IID_IAccessible, wparam, static_cast<IAccessible*>(self));
  }
  WNDPROC previous = self->previous_procedure_;
  if (message == WM_NCDESTROY) {
    // Later windows may get this handle; the owner's Detach finds it gone.
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    WrapperMap().erase(window);
    self->window_ = nullptr;
  }
  return ::CallWindowProcW(previous, window, message, wparam, lparam);
}

HRESULT AccessibleWrapper::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_INVALIDARG;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
    *object = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG AccessibleWrapper::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG AccessibleWrapper::Release() {
  LONG count = ::InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT AccessibleWrapper::StoredText(const std::wstring& text, VARIANT child, BSTR* out,
                                      HRESULT (STDMETHODCALLTYPE IAccessible::*forward)(VARIANT, BSTR*)) {
  if (!out) return E_INVALIDARG;
  if (IsSelf(child) && !text.empty()) {
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  return standard_ ? (standard_->*forward)(child, out) : E_NOTIMPL;
}

#define FORWARD(call) return standard_ ? standard_->call : E_NOTIMPL

HRESULT AccessibleWrapper::GetTypeInfoCount(UINT* count) { FORWARD(GetTypeInfoCount(count)); }
HRESULT AccessibleWrapper::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) {
  FORWARD(GetTypeInfo(index, locale, info));
}
HRESULT AccessibleWrapper::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) {
  FORWARD(GetIDsOfNames(riid, names, count, locale, ids));
}
HRESULT AccessibleWrapper::Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* argument_error) {
  FORWARD(Invoke(id, riid, locale, flags, params, result, exception, argument_error));
}
HRESULT AccessibleWrapper::get_accParent(IDispatch** parent) { FORWARD(get_accParent(parent)); }
HRESULT AccessibleWrapper::get_accChildCount(long* count) { FORWARD(get_accChildCount(count)); }

HRESULT AccessibleWrapper::get_accChild(VARIANT child, IDispatch** dispatch) {
  if (!dispatch) return E_INVALIDARG;
  if (IsSelf(child)) {
    *dispatch = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  FORWARD(get_accChild(child, dispatch));
}

HRESULT AccessibleWrapper::get_accName(VARIANT child, BSTR* name) {
  return StoredText(name_, child, name, &IAccessible::get_accName);
}
HRESULT AccessibleWrapper::get_accValue(VARIANT child, BSTR* value) {
  return StoredText(value_, child, value, &IAccessible::get_accValue);
}
HRESULT AccessibleWrapper::get_accDescription(VARIANT child, BSTR* description) {
  return StoredText(description_, child, description, &IAccessible::get_accDescription);
}

HRESULT AccessibleWrapper::get_accRole(VARIANT child, VARIANT* role) {
  if (!role) return E_INVALIDARG;
  if (IsSelf(child) && role_ != 0) {
    ::VariantInit(role);
    role->vt = VT_I4;
    role->lVal = role_;
    return S_OK;
  }
  FORWARD(get_accRole(child, role));
}

HRESULT AccessibleWrapper::get_accState(VARIANT child, VARIANT* state) {
  if (!state) return E_INVALIDARG;
  if (!standard_) return E_NOTIMPL;
  HRESULT result = standard_->get_accState(child, state);
  if (SUCCEEDED(result) && IsSelf(child) && checked_ && state->vt == VT_I4) {
    state->lVal &= ~(STATE_SYSTEM_CHECKED | STATE_SYSTEM_PRESSED);
    if (checked_()) state->lVal |= STATE_SYSTEM_CHECKED;
  }
  return result;
}
HRESULT AccessibleWrapper::get_accHelp(VARIANT child, BSTR* help) { FORWARD(get_accHelp(child, help)); }
HRESULT AccessibleWrapper::get_accHelpTopic(BSTR* help_file, VARIANT child, long* topic) {
  FORWARD(get_accHelpTopic(help_file, child, topic));
}
HRESULT AccessibleWrapper::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
  FORWARD(get_accKeyboardShortcut(child, shortcut));
}
HRESULT AccessibleWrapper::get_accFocus(VARIANT* child) { FORWARD(get_accFocus(child)); }
HRESULT AccessibleWrapper::get_accSelection(VARIANT* children) { FORWARD(get_accSelection(children)); }
HRESULT AccessibleWrapper::get_accDefaultAction(VARIANT child, BSTR* action) {
  FORWARD(get_accDefaultAction(child, action));
}
HRESULT AccessibleWrapper::accSelect(long flags, VARIANT child) { FORWARD(accSelect(flags, child)); }
HRESULT AccessibleWrapper::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
  FORWARD(accLocation(left, top, width, height, child));
}
HRESULT AccessibleWrapper::accNavigate(long direction, VARIANT start, VARIANT* end) {
  FORWARD(accNavigate(direction, start, end));
}
HRESULT AccessibleWrapper::accHitTest(long left, long top, VARIANT* child) { FORWARD(accHitTest(left, top, child)); }
HRESULT AccessibleWrapper::accDoDefaultAction(VARIANT child) { FORWARD(accDoDefaultAction(child)); }
HRESULT AccessibleWrapper::put_accName(VARIANT child, BSTR name) { FORWARD(put_accName(child, name)); }
HRESULT AccessibleWrapper::put_accValue(VARIANT child, BSTR value) { FORWARD(put_accValue(child, value)); }

#undef FORWARD

}  // namespace ostrel
