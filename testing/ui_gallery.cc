// The window toolkit on show: the installation window's first screen, its
// progress screen and a small dialog, drawn with either theme at any scale.
// scripts/screenshots.sh photographs it under the virtual display.
//
//   ui_gallery.exe --screen=first|progress|dialog [--theme=light|dark]
//                  [--force-device-scale-factor=2] [--language=ru|ja|zh-CN|...]
//                  [--ready=FILE] [--seconds=N]
//   ui_gallery.exe --dialog=kind-0..kind-12|notice-0|notice-1|notice-3|notice-4|resume|old-windows
//                  [--family=classic|redesigned] [--language=...] [--seconds=N]
//     runs one of the installer's own dialogs (kinds are always redesigned).
//   ui_gallery.exe --idle-paints=N --report=FILE [--theme=...] [--language=...]
//     runs the installation window itself on its first screen, without an
//     installation, and writes "paints=P seconds=N" to FILE: the WM_PAINT
//     messages its thread got in N seconds after the first painted second
//     (scripts/bench.sh: an idle window paints nothing).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "base/file_logger.h"
#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "resources/image_ids.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "ui/accessible_wrapper.h"
#include "ui/custom_progress_bar.h"
#include "ui/dialog_base.h"
#include "ui/image_button.h"
#include "ui/image_check_box.h"
#include "ui/installer_dialogs.h"
#include "ui/link_control.h"
#include "ui/link_markup.h"
#include "ui/lite_main_window.h"
#include "ui/localized_strings.h"
#include "ui/shadow_window.h"
#include "ui/ui_drawing.h"
#include "ui/ui_scale.h"
#include "ui/window_choices.h"
#include "ui/window_layout.h"
#include "ui/window_theme.h"

namespace ostrel {
namespace {

constexpr UINT_PTR kQuitTimer = 1;

// The product's text when the string tables have it, else the English one.
std::wstring Text(int id, LANGID language, const wchar_t* english) {
  std::wstring text = LoadUiString(id, language);
  return text.empty() ? english : text;
}

void Place(HWND control, const RECT& logical) {
  RECT rect = ScaleRect(logical);
  ::SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

class GalleryWindow : public DialogBase {
 public:
  GalleryWindow(std::wstring screen, bool dark, const BrandInfo* brand, int seconds, std::wstring ready_file)
      : screen_(std::move(screen)),
        brand_(brand),
        seconds_(seconds),
        ready_file_(std::move(ready_file)),
        layout_(dark ? std::shared_ptr<InstallationWindowLayout>(
                           std::make_shared<InstallationWindowLayoutDarkTheme>(CurrentWindowsVersion(), brand, 3))
                     : std::make_shared<InstallationWindowLayoutNewIdentity>(CurrentWindowsVersion(), brand, 3)) {
    if (dark) {
      theme_ = std::make_unique<InstallationWindowDarkTheme>(CurrentWindowsVersion(), brand, layout_);
    } else {
      theme_ = std::make_unique<InstallationWindowDefaultTheme>(CurrentWindowsVersion(), brand, layout_);
    }
  }

  int TemplateId() override { return screen_ == L"dialog" ? IDD_MESSAGE_DIALOG : IDD_INSTALLATION_WINDOW; }

  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    switch (message) {
      case WM_INITDIALOG:
        if (screen_ == L"dialog") {
          InitDialogScreen(window);
        } else {
          InitWindowScreen(window);
        }
        ::SetTimer(window, kQuitTimer, seconds_ * 1000, nullptr);
        ::PostMessageW(window, WM_APP, 0, 0);
        return true;
      case WM_APP:
        // Painted by now: tell the photographer.
        ::UpdateWindow(window);
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        if (!ready_file_.empty()) {
          ScopedFileHandle file(
              ::CreateFileW(ready_file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        }
        return true;
      case WM_TIMER:
        if (wparam == kQuitTimer) ::EndDialog(window, 0);
        return true;
      case WM_ERASEBKGND:
        result = 1;
        return true;
      case WM_CTLCOLORDLG:
        result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return true;
      case WM_PAINT:
        Paint(window);
        result = 0;
        return true;
      case WM_COMMAND:
        if (HIWORD(wparam) == BN_CLICKED) {
          for (auto& box : check_boxes_) {
            if (box->window() == reinterpret_cast<HWND>(lparam)) box->Toggle();
          }
        }
        return false;
      default:
        if (message == move_window_message() && shadow_) shadow_->Move();
        return false;
    }
  }

 private:
  LANGID language() const { return static_cast<LANGID>(brand_->language_id()); }


  void SizeWindow(HWND window, int width, int height) {
    ::SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    int radius = layout_->CornerRadius();
    if (radius) {
      ::SetWindowRgn(window, ::CreateRoundRectRgn(0, 0, width + 1, height + 1, 2 * Scale(radius), 2 * Scale(radius)),
                     FALSE);
    }
    ::SetWindowPos(window, nullptr, Scale(40), Scale(40), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }

  void InitWindowScreen(HWND window) {
    const ThemeColors& colours = theme_->Colors();
    bool first = screen_ == L"first";
    background_.Load(first ? theme_->BackgroundImages() : theme_->FirstSlideImages());
    logo_.Load(theme_->LogoImages());
    first_screen_minimize_.Load(theme_->FirstScreenMinimizeImages());
    title_font_ = CreateThemeFont(theme_->TitleFont());
    text_font_ = CreateThemeFont(theme_->TextFont());
    link_font_ = CreateThemeFont(theme_->LinkFont(), true);
    button_font_ = CreateThemeFont(theme_->ButtonFont());
    check_box_font_ = CreateThemeFont(theme_->CheckBoxFont());
    privacy_font_ = CreateThemeFont(theme_->PrivacyLinkFont(), true);
    int width = background_.IsEmpty() ? Scale(layout_->Width()) : background_.Width();
    int height = background_.IsEmpty() ? Scale(layout_->Height()) : background_.Height();
    SizeWindow(window, width, height);
    ::SetWindowTextW(window, Text(kStringWindowTitle, language(), L"Tarvik").c_str());

    ScaledImage close_strip;
    close_strip.Load(theme_->CloseButtonImages());
    close_ = std::make_unique<ImageButton>(::GetDlgItem(window, IDC_CLOSE_BUTTON), close_strip, background_,
                                           ImageButtonStyle{});
    RECT close_rect = ScaleRect(layout_->CloseButtonRect());
    close_->PlaceAt({close_rect.left, close_rect.top});
    close_name_.Reset(close_->window(), ROLE_SYSTEM_PUSHBUTTON, Text(kStringCloseButton, language(), L"Close"));

    HWND title = ::GetDlgItem(window, IDC_TITLE);
    if (first) {
      std::wstring title_text = Text(kStringFirstScreenTitle, language(), L"You can install\nTarvik Browser now");
      ::SetWindowTextW(title, title_text.c_str());
      Place(title, layout_->TitleRect());
      // As in the installer: the title's rectangle reaches over the controls below it.
      ::SetWindowLongW(title, GWL_STYLE, ::GetWindowLongW(title, GWL_STYLE) | WS_CLIPSIBLINGS);
      ::SetWindowPos(title, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      statics_.push_back(std::make_unique<OwnerDrawnStatic>(
          title, background_, TextLook{title_font_.Get(), colours.title, theme_->TitleAlpha()}));
      InitFirstScreen(window);
    } else {
      ::ShowWindow(title, SW_HIDE);
      InitProgressScreen(window);
    }
    for (int id : {IDC_STOP_BUTTON, IDC_PIN_CHECK_BOX}) ::ShowWindow(::GetDlgItem(window, id), SW_HIDE);
    if (first) ::ShowWindow(::GetDlgItem(window, IDC_STATUS_TEXT), SW_HIDE);

    shadow_ = std::make_unique<MainWindowShadow>(*theme_, layout_->ShadowInset());
    if (shadow_->Create(window)) {
      shadow_->Update(background_);
      shadow_->Show();
    }
  }

  void InitFirstScreen(HWND window) {
    const ThemeColors& colours = theme_->Colors();
    ScaledImage check_strip;
    check_strip.Load(theme_->CheckBoxImages());
    CheckBoxStyle style;
    style.label = {check_box_font_.Get(), colours.check_box_label, colours.check_box_label_alpha};
    style.gap = Scale(layout_->CheckBoxGap());
    VerticalInsets insets = layout_->LabelInsets();

    HWND statistics = ::GetDlgItem(window, IDC_STATISTICS_CHECK_BOX);
    std::wstring label = Text(kStringStatisticsConsent, language(),
                              L"I want to help improve Tarvik services by sending browser usage "
                              L"statistics to Tarvik");
    label = StatisticsLabelMarkup(label, Text(kStringPrivacyPolicy, language(), L"Privacy policy"));
    ::SetWindowTextW(statistics, label.c_str());
    HWND privacy = ::GetDlgItem(window, IDC_PRIVACY_LINK);
    ::SetWindowTextW(privacy, Text(kStringPrivacyPolicy, language(), L"Privacy policy").c_str());
    auto statistics_box = std::make_unique<LinkCheckBox>(statistics, check_strip, background_, style, true,
                                                         std::vector<int>{IDC_PRIVACY_LINK}, theme_->LineSpacing(),
                                                         Scale(insets.top), Scale(insets.bottom));
    RECT statistics_rect = ScaleRect(layout_->StatisticsCheckBoxRect());
    int statistics_height = statistics_box->MeasureHeight(statistics_rect.right - statistics_rect.left);
    ::SetWindowPos(statistics, nullptr, statistics_rect.left, statistics_rect.top,
                   statistics_rect.right - statistics_rect.left, statistics_height, SWP_NOZORDER);
    ::ShowWindow(statistics, SW_SHOW);
    statistics_box->PlaceLinks();
    links_.push_back(std::make_unique<LinkControl>(
        privacy, background_, TextLook{privacy_font_.Get(), colours.privacy_link, colours.privacy_link_alpha}));

    HWND make_default = ::GetDlgItem(window, IDC_DEFAULT_BROWSER_CHECK_BOX);
    ::SetWindowTextW(make_default,
                     Text(theme_->DefaultCheckBoxStringId(), language(), L"Set as default browser").c_str());
    auto default_box = std::make_unique<ImageCheckBox>(make_default, check_strip, background_, style, false);
    RECT default_rect = ScaleRect(layout_->DefaultCheckBoxRect());
    default_rect.top = statistics_rect.top + statistics_height + Scale(4);
    ::SetWindowPos(make_default, nullptr, default_rect.left, default_rect.top, default_rect.right - default_rect.left,
                   default_box->MeasureHeight(default_rect.right - default_rect.left), SWP_NOZORDER);
    ::ShowWindow(make_default, SW_SHOW);
    check_boxes_.push_back(std::move(statistics_box));
    check_boxes_.push_back(std::move(default_box));

    ScaledImage install_strip;
    install_strip.Load(theme_->InstallButtonImages());
    ImageButtonStyle button_style;
    button_style.font = button_font_.Get();
    button_style.text_colour = colours.install_button_text;
    HWND install = ::GetDlgItem(window, IDC_INSTALL_BUTTON);
    ::SetWindowTextW(install, Text(kStringInstallButton, language(), L"Install").c_str());
    install_ = std::make_unique<ImageButton>(install, install_strip, background_, button_style);
    RECT install_rect = ScaleRect(layout_->InstallButtonRect());
    install_->PlaceAt({install_rect.left, install_rect.top});

    std::wstring sentence =
        Text(kStringLicenseSentence, language(),
             L"By using Tarvik Browser,\nyou accept the terms of the\n((License agreement))");
    if (!sentence.empty() && sentence.back() == L'.') sentence.pop_back();
    SentenceStyle sentence_style;
    sentence_style.text = {text_font_.Get(), colours.license_text, colours.license_text_alpha};
    sentence_style.link = {link_font_.Get(), colours.license_link, colours.license_link_alpha};
    sentence_style.text_id = IDC_LICENSE_TEXT;
    sentence_style.link_id = IDC_LICENSE_LINK;
    sentence_style.line_spacing = theme_->LineSpacing();
    sentence_style.center_lines = theme_->CenterLicenseLines();
    sentence_ = BuildSentenceWindows(window, ScaleRect(layout_->LicenseRect()), sentence, background_, sentence_style);
    if (!sentence_.links.empty()) {
      license_name_.Reset(sentence_.links.front()->window(), ROLE_SYSTEM_LINK,
                          StripLinkMarkup(Text(kStringLicenseName, language(), L"License agreement")));
    }
  }

  void InitProgressScreen(HWND window) {
    const ThemeColors& colours = theme_->Colors();
    ScaledImage fill;
    ScaledImage track;
    fill.Load(theme_->ProgressFillImages());
    track.Load(theme_->ProgressTrackImages());
    HWND bar = ::GetDlgItem(window, IDC_PROGRESS_BAR);
    Place(bar, layout_->ProgressBarRect());
    progress_ = std::make_unique<CustomProgressBar>(bar, fill, track, &background_);
    progress_->SetRange(0, 100);
    progress_->SetPos(60);
    ::ShowWindow(bar, SW_SHOW);

    HWND status = ::GetDlgItem(window, IDC_STATUS_TEXT);
    ::SetWindowTextW(status, (Text(kStringStatusInstalling, language(), L"Installing...") + L" 60%").c_str());
    Place(status, layout_->StatusTextRect());
    statics_.push_back(std::make_unique<OwnerDrawnStatic>(
        status, background_, TextLook{text_font_.Get(), colours.status_text, colours.status_text_alpha}));

    ScaledImage minimize_strip;
    minimize_strip.Load(theme_->MinimizeButtonImages());
    HWND minimize = ::GetDlgItem(window, IDC_MINIMIZE_BUTTON);
    minimize_ = std::make_unique<ImageButton>(minimize, minimize_strip, background_, ImageButtonStyle{});
    RECT minimize_rect = ScaleRect(layout_->MinimizeButtonRect());
    minimize_->PlaceAt({minimize_rect.left, minimize_rect.top});
    ::ShowWindow(minimize, SW_SHOW);
    minimize_name_.Reset(minimize, ROLE_SYSTEM_PUSHBUTTON, Text(kStringCollapseButton, language(), L"Collapse"));
    for (int id : {IDC_INSTALL_BUTTON, IDC_PRIVACY_LINK}) ::ShowWindow(::GetDlgItem(window, id), SW_HIDE);
  }

  // A redesigned dialog: plain background, the product fonts, stretchable buttons.
  void InitDialogScreen(HWND window) {
    background_.Load(ImagePair{IDR_DIALOG_BACKGROUND, 0});
    title_font_ = CreateUiFont(kTextFace, Scale(18), 500);
    text_font_ = CreateUiFont(kTextFace, Scale(13), 400);
    button_font_ = CreateUiFont(kTextFace, Scale(13), 400);
    int width = Scale(460);
    int height = Scale(200);
    SizeWindow(window, width, height);
    ::SetWindowTextW(window, L"Tarvik");
    // The template's plain statics make way for owner-drawn ones.
    HWND template_title = ::GetDlgItem(window, IDC_TITLE);
    ::ShowWindow(::GetWindow(template_title, GW_HWNDNEXT), SW_HIDE);
    ::ShowWindow(template_title, SW_HIDE);
    auto add_static = [&](const std::wstring& text, int top, int height, HFONT font, COLORREF colour) {
      HWND control = ::CreateWindowExW(0, L"Static", text.c_str(), WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, Scale(30),
                                       top, width - Scale(80), height, window, nullptr, ::GetModuleHandleW(nullptr),
                                       nullptr);
      statics_.push_back(std::make_unique<OwnerDrawnStatic>(control, background_, TextLook{font, colour, 255}));
    };
    add_static(Text(kStringInterruptedTitle, language(), L"Tarvik Browser installation was interrupted"), Scale(30),
               Scale(30), title_font_.Get(), RGB(0, 0, 0));
    add_static(Text(kStringInterruptedQuestion, language(), L"Continue installation?"), Scale(70), Scale(40),
               text_font_.Get(), RGB(87, 87, 87));

    ImageButtonStyle style;
    style.font = button_font_.Get();
    style.focus_rect_inset = 2;
    ScaledImage main_strip;
    ScaledImage plain_strip;
    main_strip.Load(ImagePair{IDR_DIALOG_MAIN_BUTTON_1X, IDR_DIALOG_MAIN_BUTTON_2X});
    plain_strip.Load(ImagePair{IDR_DIALOG_PLAIN_BUTTON_1X, IDR_DIALOG_PLAIN_BUTTON_2X});
    HWND primary = ::GetDlgItem(window, IDOK);
    HWND secondary = ::GetDlgItem(window, IDC_STOP_BUTTON);
    ::SetWindowTextW(primary, Text(kStringProceedButton, language(), L"Proceed").c_str());
    ::SetWindowTextW(secondary, Text(kStringStopButton, language(), L"Stop").c_str());
    int button_height = Scale(35);
    int button_top = height - Scale(30) - button_height;
    int secondary_width = Scale(110);
    int primary_width = Scale(130);
    ::SetWindowPos(secondary, nullptr, width - Scale(40) - secondary_width, button_top, secondary_width, button_height,
                   SWP_NOZORDER);
    ::SetWindowPos(primary, nullptr, width - Scale(40) - secondary_width - Scale(10) - primary_width, button_top,
                   primary_width, button_height, SWP_NOZORDER);
    primary_ = std::make_unique<StretchButton>(primary, main_strip, background_, style, Scale(16));
    secondary_ = std::make_unique<StretchButton>(secondary, plain_strip, background_, style, Scale(16));

    ScaledImage close_strip;
    close_strip.Load(ImagePair{IDR_DIALOG_CLOSE_BUTTON_1X, IDR_DIALOG_CLOSE_BUTTON_2X});
    close_ = std::make_unique<ImageButton>(::GetDlgItem(window, IDC_CLOSE_BUTTON), close_strip, background_,
                                           ImageButtonStyle{});
    close_->PlaceAt({width - close_->ImageSize().cx - 10, 10});
    close_name_.Reset(close_->window(), ROLE_SYSTEM_PUSHBUTTON, Text(kStringCloseButton, language(), L"Close"));
  }

  void Paint(HWND window) {
    PAINTSTRUCT paint = {};
    HDC dc = ::BeginPaint(window, &paint);
    RECT client = {};
    ::GetClientRect(window, &client);
    PaintDoubleBuffered(dc, client, [&](HDC canvas, const RECT& rect) {
      if (background_.IsEmpty()) {
        ::FillRect(canvas, &rect, theme_->SlideBrush());
      } else if (screen_ == L"dialog") {
        background_.Draw(canvas, 0, 0, rect.right, rect.bottom, 0, 0, background_.Width(), background_.Height());
      } else {
        background_.Draw(canvas, 0, 0, rect.right, rect.bottom, 0, 0, rect.right, rect.bottom);
      }
      if (screen_ == L"first") {
        RECT logo = ScaleRect(layout_->LogoRect());
        logo_.Draw(canvas, logo.left, logo.top);
        RECT minimize = ScaleRect(layout_->MinimizeButtonRect());
        first_screen_minimize_.Draw(canvas, minimize.left, minimize.top);
      }
    });
    ::EndPaint(window, &paint);
  }

  std::wstring screen_;
  const BrandInfo* brand_;
  int seconds_;
  std::wstring ready_file_;
  std::shared_ptr<InstallationWindowLayout> layout_;
  std::unique_ptr<InstallationWindowThemeBase> theme_;
  ScaledImage background_;
  ScaledImage logo_;
  ScaledImage first_screen_minimize_;
  ScopedFont title_font_, text_font_, link_font_, button_font_, check_box_font_, privacy_font_;
  std::unique_ptr<ImageButton> install_, close_, minimize_, primary_, secondary_;
  std::vector<std::unique_ptr<ImageCheckBox>> check_boxes_;
  std::vector<std::unique_ptr<OwnerDrawnStatic>> statics_;
  std::vector<std::unique_ptr<LinkControl>> links_;
  SentenceWindows sentence_;
  std::unique_ptr<CustomProgressBar> progress_;
  ScopedAccessibleWrapper close_name_, minimize_name_, license_name_;
  std::unique_ptr<MainWindowShadow> shadow_;
};

InstallerDialog* g_shown_dialog = nullptr;

void CALLBACK EndShownDialog(HWND, UINT, UINT_PTR, DWORD) {
  if (g_shown_dialog) g_shown_dialog->End(kDialogClose);
}

// One of the installer's dialogs by name, ended after `seconds`.
int ShowInstallerDialog(const std::wstring& name, bool redesigned, const std::string& language, int seconds) {
  BrandInfo brand(L"");
  brand.ApplyBrandInfo(R"({"languages": {"interface": ")" + (language.empty() ? std::string("en") : language) +
                       R"("}, "overridden_features": {"InstallerNewIdentity2024": {"params": {"dialogsRedesign": )" +
                       (redesigned ? "true" : "false") + "}}}}");
  DistribInfoParams params(L"");
  DialogServices services;
  services.open_url = [](const std::wstring&) {};
  services.launch_browser = [] { return true; };
  InstallerDialogFactory factory(&brand, &params, services);
  std::unique_ptr<InstallerDialog> dialog;
  if (name.starts_with(L"kind-")) {
    int kind = _wtoi(name.c_str() + 5);
    if (kind < 0 || kind >= kRedesignedKindCount) return 2;
    dialog = kind == kKindSupportError
                 ? factory.errors().CreateKindDialog(
                       kind, [](const std::wstring& text) { return text + L"\r\n" + GetLogFilePath(); })
                 : factory.errors().CreateKindDialog(kind);
  } else if (name.starts_with(L"notice-")) {
    int type = _wtoi(name.c_str() + 7);
    if (type != 0 && type != 1 && type != 3 && type != 4) return 2;
    dialog = type == kNoticeNotEnoughDiskSpace && !redesigned
                 ? CreateNotEnoughDiskSpaceNotice(static_cast<LANGID>(brand.language_id()))
                 : factory.CreateNotice(static_cast<NoticeType>(type));
  } else if (name == L"resume") {
    dialog = factory.CreateResumeDialog();
  } else if (name == L"old-windows") {
    dialog = factory.CreateOldWindowsDialog();
  } else {
    return 2;
  }
  g_shown_dialog = dialog.get();
  ::SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, &EndShownDialog);
  dialog->Run(nullptr);
  g_shown_dialog = nullptr;
  return 0;
}

// The idle-paint count: WM_PAINT messages this thread takes from its queue
// after the window's first second, until the window is closed.
struct IdleCount {
  bool counting = false;
  int paints = 0;
};
IdleCount g_idle;

LRESULT CALLBACK CountPaints(int code, WPARAM removal, LPARAM message) {
  const MSG* taken = reinterpret_cast<const MSG*>(message);
  if (code == HC_ACTION && removal == PM_REMOVE && g_idle.counting && taken->message == WM_PAINT) ++g_idle.paints;
  return ::CallNextHookEx(nullptr, code, removal, message);
}

BOOL CALLBACK CloseVisibleWindow(HWND window, LPARAM) {
  if (::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER))
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;
}

void CALLBACK StartCounting(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_idle.counting = true;
}

void CALLBACK StopCounting(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_idle.counting = false;
  ::EnumThreadWindows(::GetCurrentThreadId(), CloseVisibleWindow, 0);
}

int CountIdlePaints(const BrandInfo* brand, int seconds, const std::wstring& report) {
  ScopedWindowsHook hook(::SetWindowsHookExW(WH_GETMESSAGE, CountPaints, nullptr, ::GetCurrentThreadId()));
  if (!hook.IsValid()) return 1;
  ::SetTimer(nullptr, 0, 1000, StartCounting);
  ::SetTimer(nullptr, 0, 1000 + static_cast<UINT>(seconds) * 1000, StopCounting);
  LiteMainWindow window(brand, nullptr, false);
  window.Run();
  std::string line = "paints=" + std::to_string(g_idle.paints) + " seconds=" + std::to_string(seconds) + "\n";
  return WriteBytesToFile(report, line) ? 0 : 1;
}

}  // namespace
}  // namespace ostrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  using namespace ostrel;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  const InstallerCommandLine& command_line = InstallerCommandLine::ProcessCommandLine();
  std::wstring screen = command_line.SwitchValueNative("screen");
  if (screen.empty()) screen = L"first";
  bool dark = command_line.SwitchValueAscii("theme") == "dark";
  BrandInfo brand(L"");
  std::string language = command_line.SwitchValueAscii("language");
  brand.ApplyBrandInfo(R"({"languages": {"interface": ")" + (language.empty() ? std::string("en") : language) +
                       R"("}})");
  int seconds = 30;
  std::string seconds_text = command_line.SwitchValueAscii("seconds");
  if (!seconds_text.empty()) seconds = std::max(1, std::atoi(seconds_text.c_str()));
  std::string idle_seconds = command_line.SwitchValueAscii("idle-paints");
  if (!idle_seconds.empty())
    return CountIdlePaints(&brand, std::max(1, std::atoi(idle_seconds.c_str())), command_line.SwitchValueNative("report"));
  std::wstring dialog = command_line.SwitchValueNative("dialog");
  if (!dialog.empty())
    return ShowInstallerDialog(dialog, command_line.SwitchValueAscii("family") != "classic", language, seconds);
  GalleryWindow window(screen, dark, &brand, seconds, command_line.SwitchValueNative("ready"));
  window.Run(nullptr);
  return 0;
}
