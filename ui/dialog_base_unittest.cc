#include "ui/dialog_base.h"

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

// Runs the small-dialog template, drags it by its background, then ends.
class DraggedDialog : public DialogBase {
 public:
  int TemplateId() override { return IDD_MESSAGE_DIALOG; }
  bool HandleMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT& result) override {
    if (message == move_window_message()) {
      ++moves;
      return true;
    }
    if (message != WM_INITDIALOG) return false;
    bound_at_init = FromWindow(window) == this;
    SetItemText(IDC_TITLE, 478, 1033);  // absent everywhere: empty text
    title_length = ::GetWindowTextLengthW(::GetDlgItem(window, IDC_TITLE));
    ::SetWindowPos(window, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    CenterWindow();
    ::GetWindowRect(window, &centred);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(25, 15));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(25, 15));
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(60, 60));  // after release: no move
    ::GetWindowRect(window, &dragged);
    // A drag whose capture another window took (a dialog, the elevation
    // prompt, a task switch) is over, and so is one whose button went up
    // where this window did not see it.
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(window, WM_CAPTURECHANGED, 0, 0);
    ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(45, 45));
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(45, 45));
    ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(85, 85));
    ::GetWindowRect(window, &after_lost_drags);
    capture_kept = ::GetCapture() == window;
    ::EndDialog(window, 7);
    result = 0;
    return true;
  }

  bool bound_at_init = false;
  int title_length = -1;
  int moves = 0;
  RECT centred = {};
  RECT dragged = {};
  RECT after_lost_drags = {};
  bool capture_kept = true;
};

TEST(DialogBaseTest, RunBindsCentresDragsAndReturnsTheEndValue) {
  DraggedDialog dialog;
  EXPECT_EQ(dialog.Run(nullptr), 7);
  EXPECT_TRUE(dialog.bound_at_init);
  EXPECT_EQ(dialog.title_length, 0);
  EXPECT_EQ(dialog.window(), nullptr) << "unbound when the window went";

  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_EQ(dialog.centred.left, (monitor.rcWork.left + monitor.rcWork.right) / 2 - 150);
  EXPECT_EQ(dialog.centred.top, (monitor.rcWork.top + monitor.rcWork.bottom) / 2 - 100);
  EXPECT_EQ(dialog.dragged.left, dialog.centred.left + 20);
  EXPECT_EQ(dialog.dragged.top, dialog.centred.top + 10);
  EXPECT_EQ(dialog.moves, 1);
  EXPECT_TRUE(::EqualRect(&dialog.after_lost_drags, &dialog.dragged));
  EXPECT_FALSE(dialog.capture_kept);
}

}  // namespace
}  // namespace ostrel
