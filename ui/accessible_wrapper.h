// Gives an owner-drawn control an accessible name, role and value: answers
// WM_GETOBJECT with an IAccessible that forwards to the window's standard
// object except for what is stored here.
#ifndef UI_ACCESSIBLE_WRAPPER_H_
#define UI_ACCESSIBLE_WRAPPER_H_

#include <windows.h>
#include <oleacc.h>

#include <functional>
#include <string>

namespace ostrel {

class AccessibleWrapper : public IAccessible {
 public:
  // Sub-classes `window`; the returned object holds one reference, which
  // the owner gives back with Detach.
  static AccessibleWrapper* Attach(HWND window, long role, std::wstring name);
  // Restores the window procedure and releases the owner's reference.
  void Detach();

  void set_name(std::wstring name) { name_ = std::move(name); }
  void set_value(std::wstring value) { value_ = std::move(value); }
  void set_description(std::wstring description) { description_ = std::move(description); }
  // For a check box drawn by its owner: the checked state it reports, read
  // when asked (the standard object of an owner-drawn button knows none).
  void set_checked_source(std::function<bool()> checked) { checked_ = std::move(checked); }
  const std::wstring& value() const { return value_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;
  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* help_file, VARIANT child, long* topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
  HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

 private:
  AccessibleWrapper(HWND window, long role, std::wstring name);
  virtual ~AccessibleWrapper();
  static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HRESULT StoredText(const std::wstring& text, VARIANT child, BSTR* out,
                     HRESULT (STDMETHODCALLTYPE IAccessible::*forward)(VARIANT, BSTR*));

  std::function<bool()> checked_;
  LONG references_ = 1;
  HWND window_;
  IAccessible* standard_ = nullptr;
  WNDPROC previous_procedure_ = nullptr;
  long role_;
  std::wstring name_;
  std::wstring value_;
  std::wstring description_;
};

// Holds a wrapper for its control's lifetime.
class ScopedAccessibleWrapper {
 public:
  ScopedAccessibleWrapper() = default;
  ScopedAccessibleWrapper(HWND window, long role, std::wstring name)
      : wrapper_(AccessibleWrapper::Attach(window, role, std::move(name))) {}
  ScopedAccessibleWrapper(const ScopedAccessibleWrapper&) = delete;
  ScopedAccessibleWrapper& operator=(const ScopedAccessibleWrapper&) = delete;
  ~ScopedAccessibleWrapper() {
    if (wrapper_) wrapper_->Detach();
  }
  void Reset(HWND window, long role, std::wstring name) {
    Reset();
    wrapper_ = AccessibleWrapper::Attach(window, role, std::move(name));
  }
  void Reset() {
    if (wrapper_) wrapper_->Detach();
    wrapper_ = nullptr;
  }
  AccessibleWrapper* get() const { return wrapper_; }
  AccessibleWrapper* operator->() const { return wrapper_; }
  explicit operator bool() const { return wrapper_ != nullptr; }

 private:
  AccessibleWrapper* wrapper_ = nullptr;
};

}  // namespace ostrel

#endif  // UI_ACCESSIBLE_WRAPPER_H_
