// A window object bound to one window handle: the installer's borderless
// dialogs and its sub-classed controls. A dialog binds at WM_INITDIALOG (its
// first message that carries the object), a control when it is sub-classed;
// the object lives in a property of the window until WM_NCDESTROY (no
// process-wide map). One shared window procedure gives it each message
// first; a borderless dialog is dragged by its background.
#ifndef UI_DIALOG_BASE_H_
#define UI_DIALOG_BASE_H_

#include <windows.h>

#include <string>
#include <vector>

namespace ostrel {

// How a control paints its text: what, where in its client area, in which
// font and with which DrawText flags; windows laid over the text on purpose
// (a link inside a check box's label) may overlap it.
struct TextLayout {
  std::wstring text;
  RECT area = {0, 0, 0, 0};
  HFONT font = nullptr;
  UINT format = 0;
  std::vector<HWND> overlays;
  // Set by a control that lays its text out itself: the extent it takes.
  SIZE measured = {-1, -1};
  // The control paints its text and nothing else, so only the text's
  // extent is in the way of its siblings (a title's window may reach over
  // them).
  bool text_only = false;
};

class DialogBase {
 public:
  DialogBase();
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;
  virtual ~DialogBase();

  // True when handled; `result` is then the answer. Unhandled messages go
  // to the window's previous procedure.
  virtual bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
  // The dialog template of Run.
  virtual int TemplateId() { return 0; }
  // A control with text of its own says how it paints it; false otherwise.
  virtual bool GetTextLayout(TextLayout*) const { return false; }

  // Runs the dialog modally (owner: the active window when null); returns
  // the EndDialog value.
  INT_PTR Run(HWND owner = nullptr);
  // Creates a window and binds it.
  HWND CreateChild(HWND parent, const RECT& rect, const wchar_t* name, DWORD style, DWORD ex_style,
                   const wchar_t* class_name = L"Static");
  // Sub-classes an existing window (a control of a template).
  bool Bind(HWND window);
  // Centres a pop-up on its visible owner or the work area, a child on its
  // parent, and keeps it inside them.
  void CenterWindow(HWND owner = nullptr);
  void SetItemText(int control_id, int string_id, LANGID language);

  HWND window() const { return window_; }
  UINT move_window_message() const { return move_window_message_; }

  // The object bound to `window`, if any.
  static DialogBase* FromWindow(HWND window);

 protected:
  void Unbind();

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Custom-draw and owner-draw messages go to the bound control they are about.
  bool ReflectToControl(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
  bool HandleDrag(UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  WNDPROC previous_procedure_ = nullptr;
  bool dragging_ = false;
  POINT last_cursor_ = {0, 0};
  UINT move_window_message_ = 0;
};

}  // namespace ostrel

#endif  // UI_DIALOG_BASE_H_
