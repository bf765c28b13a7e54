#include "ui/installer_dialogs.h"

#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "base/file_logger.h"
#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_gdi.h"
#include "base/switches.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/maker_hosts.h"
#include "install/installer_observer.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "ui/accessible_wrapper.h"
#include "ui/dialog_base.h"
#include "ui/high_contrast.h"
#include "ui/image_button.h"
#include "ui/localized_strings.h"
#include "ui/scaled_image.h"
#include "ui/shadow_window.h"
#include "ui/ui_drawing.h"
#include "ui/ui_font_faces.h"
#include "ui/text_fit.h"
#include "ui/ui_scale.h"
#include "ui/window_theme.h"
#include "win/ostrel_helpers.h"

namespace ostrel {
namespace {

constexpr LANGID kEnglish = 1033;

constexpr char kHelpPagePath[] = "/support/browser/about/install.xml";
constexpr char kBrowserSitePath[] = "/?from=installer";
constexpr char kFeedbackPagePath[] = "/feedback/?from=installer";

constexpr ButtonLook kMain = ButtonLook::kMain;
constexpr ButtonLook kPlain = ButtonLook::kPlain;

// Indexed by the redesigned kind.
constexpr std::array<DialogContent, kRedesignedKindCount> kRedesignedKinds = {{
    {kStringHigherVersionRedesignedTitle, kStringHigherVersionRedesignedText,
     kStringGotItButton, 0, kPlain, DialogAction::kNone},
    {kStringNotEnoughDiskSpaceRedesignedTitle, kStringNotEnoughDiskSpaceRedesignedText,
     kStringGotItButton, 0, kPlain, DialogAction::kNone},
    {kStringOldWindowsRedesignedTitle, kStringOldWindowsRedesignedText,
     kStringDetailsButton, 0, kMain, DialogAction::kHelpPage},
    {kStringCorporateHigherVersionRedesignedTitle, kStringCorporateHigherVersionRedesignedText,
     kStringGotItButton, 0, kPlain, DialogAction::kNone},
    {kStringCorporateUpdateRedesignedTitle, kStringCorporateUpdateRedesignedText,
     kStringReloadButton, kStringRedesignedCancelButton, kMain, DialogAction::kNone},
    {kStringCryptoProviderTitle, kStringCryptoProviderText,
     kStringGotItButton, 0, kPlain, DialogAction::kNone},
    {kStringDownloadErrorTitle, kStringDownloadErrorText,
     kStringDownloadButton, kStringStopButton, kMain, DialogAction::kManualDownload},
    {kStringInterruptedTitle, kStringInterruptedQuestion,
     kStringProceedButton, kStringStopButton, kMain, DialogAction::kNone, kDialogPrimary},
    {kStringWrongArchitectureTitle, kStringWrongArchitectureText,
     kStringGoToSiteButton, 0, kMain, DialogAction::kBrowserSite},
    {kStringAlreadyInstalledTitle, 0,
     kStringOpenButton, 0, kMain, DialogAction::kLaunchBrowser},
    {kStringFolderLockedTitle, kStringFolderLockedText,
     kStringContactUsButton, 0, kMain, DialogAction::kFeedbackPage},
    {kStringAnotherInstanceTitle, kStringAnotherInstanceText,
     kStringContactUsButton, 0, kMain, DialogAction::kFeedbackPage},
    {kStringSupportErrorTitle, kStringSupportErrorText,
     kStringContactUsButton, 0, kMain, DialogAction::kFeedbackPage},
}};

std::string HostForRegion(const char* host_template, std::string_view region) {
  std::string host = host_template;
  static constexpr std::string_view kPlaceholder = "{domain}";
  size_t at = host.find(kPlaceholder);
  if (at != std::string::npos) host.replace(at, kPlaceholder.size(), region);
  return host;
}

std::wstring LoadText(int id, LANGID language) { return id ? LoadUiString(id, language) : std::wstring(); }

// The strip's pixel size as one frame of the button image.
SIZE FrameSize(const ScaledImage& strip) { return {strip.Width() / 3, strip.Height()}; }

void PlaceWindow(HWND window, const RECT& rect) {
  ::SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// A text's extent in `font` with its own line breaks (no wrapping).
SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text) {
  if (text.empty()) return {0, 0};
  ScopedSelectObject selected_font(dc, font);
  RECT rect = {0, 0, 0, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_NOPREFIX);
  return {rect.right - rect.left, rect.bottom - rect.top};
}


// Adds the product's text face from the executable while a dialog needs it.
class ScopedProductTextFont {
 public:
  ScopedProductTextFont() {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_FONT_TEXT), MAKEINTRESOURCEW(8) /* RT_FONT */);
    HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    void* data = loaded ? ::LockResource(loaded) : nullptr;
    DWORD count = 0;
    if (data) handle_ = ::AddFontMemResourceEx(data, ::SizeofResource(module, resource), nullptr, &count);
  }
  ScopedProductTextFont(const ScopedProductTextFont&) = delete;
  ScopedProductTextFont& operator=(const ScopedProductTextFont&) = delete;
  ~ScopedProductTextFont() {
    if (handle_) ::RemoveFontMemResourceEx(handle_);
  }

 private:
  HANDLE handle_ = nullptr;
};

// Both families: template 100, the texts, the buttons' results and the
// primary action, keyboard use and the shadow following the dialog.
class TemplateDialog : public DialogBase, public InstallerDialog {
 public:
  TemplateDialog(const DialogContent& content, LANGID language, TextSuffix suffix, std::function<void()> action)
      : content_(content), language_(language), suffix_(std::move(suffix)), action_(std::move(action)) {}

  int Run(HWND owner) override {
    INT_PTR result = DialogBase::Run(owner);
    if (result != kDialogPrimary && result != kDialogSecondary && result != kDialogClose) return kDialogClose;
    return static_cast<int>(result);
  }

  void End(int result) override {
    if (window()) ::EndDialog(window(), result);
  }

 protected:
  int TemplateId() override { return IDD_MESSAGE_DIALOG; }

  virtual void OnInitDialog() = 0;
  virtual void PaintBackground(HDC dc, const RECT& client) = 0;
  virtual void MoveShadow() = 0;
  virtual void DestroyShadow() = 0;
  virtual COLORREF TextColour(bool title) const = 0;

  HWND TitleControl() const { return ::GetDlgItem(window(), IDC_TITLE); }
  // The text has no id of its own: it follows the title in the template.
  HWND TextControl() const { return ::GetWindow(TitleControl(), GW_HWNDNEXT); }
  HWND PrimaryButton() const { return ::GetDlgItem(window(), IDOK); }
  HWND SecondaryButton() const { return ::GetDlgItem(window(), IDC_STOP_BUTTON); }
  HWND CloseButton() const { return ::GetDlgItem(window(), IDC_CLOSE_BUTTON); }

  std::wstring TitleText() const { return LoadText(content_.title, language_); }
  std::wstring BodyText() const {
    if (!content_.text) return std::wstring();
    std::wstring text = LoadUiString(content_.text, language_);
    return suffix_ ? suffix_(text) : text;
  }

  const DialogContent& content() const { return content_; }
  LANGID language() const { return language_; }
  // The user's high-contrast setting: the system's colours over a plain
  // background, pictures drawn at the sizes of the theme's.
  bool high_contrast() const { return high_contrast_; }
  COLORREF ButtonTextColour(COLORREF theme) const { return high_contrast_ ? ::GetSysColor(COLOR_BTNTEXT) : theme; }

 private:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    if (message == move_window_message()) {
      MoveShadow();
      return false;
    }
    switch (message) {
      case WM_INITDIALOG:
        OnInitDialog();
        ::SetFocus(PrimaryButton());
        return true;
      case WM_ERASEBKGND: {
        RECT client = {};
        ::GetClientRect(window, &client);
        if (high_contrast_) {
          ::FillRect(reinterpret_cast<HDC>(wparam), &client, ::GetSysColorBrush(COLOR_WINDOW));
        } else {
          PaintBackground(reinterpret_cast<HDC>(wparam), client);
        }
        result = 1;
        return true;
      }
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, high_contrast_ ? ::GetSysColor(COLOR_WINDOWTEXT)
                                          : TextColour(reinterpret_cast<HWND>(lparam) == TitleControl()));
        result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return true;
      }
      case WM_WINDOWPOSCHANGED:
        MoveShadow();
        return false;
      case WM_COMMAND:
        if (HIWORD(wparam) != BN_CLICKED) return false;
        OnCommand(LOWORD(wparam));
        return true;
      case WM_DESTROY:
        DestroyShadow();
        return false;
      default:
        return false;
    }
  }

  void OnCommand(int id) {
    switch (id) {
      case IDOK:
        if (action_) action_();
        End(kDialogPrimary);
        break;
      case IDC_STOP_BUTTON:
        End(kDialogSecondary);
        break;
      case IDCANCEL:  // Escape
        End(content_.escape_result);
        break;
      case IDC_CLOSE_BUTTON:
        End(kDialogClose);
        break;
      default:
        break;
    }
  }

  DialogContent content_;
  LANGID language_;
  TextSuffix suffix_;
  std::function<void()> action_;
  bool high_contrast_ = HighContrastOn();
};

class RedesignedDialog : public TemplateDialog {
 public:
  using TemplateDialog::TemplateDialog;

 private:
  void OnInitDialog() override {
    HWND dialog = window();
    std::wstring_view face = UiFontFaceName(kTextFace, language(), CurrentWindowsVersion());
    std::wstring face_name(face);
    title_font_ = CreateUiFont(face_name.c_str(), Scale(18), 500);
    text_font_ = CreateUiFont(face_name.c_str(), Scale(13), 400);
    button_font_ = CreateUiFont(face_name.c_str(), Scale(13), 400);
    background_.Load(IDR_DIALOG_BACKGROUND, 0);
    ScaledImage main_strip;
    main_strip.Load(IDR_DIALOG_MAIN_BUTTON_1X, IDR_DIALOG_MAIN_BUTTON_2X);
    ScaledImage plain_strip;
    plain_strip.Load(IDR_DIALOG_PLAIN_BUTTON_1X, IDR_DIALOG_PLAIN_BUTTON_2X);
    ScaledImage close_strip;
    close_strip.Load(IDR_DIALOG_CLOSE_BUTTON_1X, IDR_DIALOG_CLOSE_BUTTON_2X);
    if (high_contrast()) {
      background_ = PlainPicture({background_.Width(), background_.Height()});
      main_strip = ButtonStripPicture(FrameSize(main_strip));
      plain_strip = ButtonStripPicture(FrameSize(plain_strip));
      close_strip = CaptionStripPicture(FrameSize(close_strip), CaptionGlyph::kClose);
    }

    std::wstring title = TitleText();
    std::wstring text = BodyText();
    std::wstring primary = LoadText(content().primary, language());
    std::wstring secondary = LoadText(content().secondary, language());
    ::SetWindowTextW(dialog, title.c_str());
    ::SetWindowTextW(TitleControl(), title.c_str());
    ::SetWindowTextW(TextControl(), text.c_str());
    ::SetWindowTextW(PrimaryButton(), primary.c_str());
    ::SetWindowTextW(SecondaryButton(), secondary.c_str());
    ::SendMessageW(TitleControl(), WM_SETFONT, reinterpret_cast<WPARAM>(title_font_.Get()), FALSE);
    ::SendMessageW(TextControl(), WM_SETFONT, reinterpret_cast<WPARAM>(text_font_.Get()), FALSE);

    RedesignedMeasures measures;
    {
      ScopedWindowDC window_dc(dialog);
      HDC dc = window_dc.Get();
      measures.title = MeasureText(dc, title_font_.Get(), title);
      measures.text = MeasureText(dc, text_font_.Get(), text);
      measures.primary_text = {TextWidth(dc, button_font_.Get(), primary), LineHeight(dc, button_font_.Get())};
      if (!secondary.empty())
        measures.secondary_text = {TextWidth(dc, button_font_.Get(), secondary), LineHeight(dc, button_font_.Get())};
    }
    measures.close_image = FrameSize(close_strip);
    RedesignedPlacement placement = LayoutRedesignedDialog(measures);

    ::SetWindowPos(dialog, nullptr, 0, 0, placement.window.cx, placement.window.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceWindow(TitleControl(), placement.title);
    PlaceWindow(TextControl(), placement.text);
    if (text.empty()) ::ShowWindow(TextControl(), SW_HIDE);
    PlaceWindow(PrimaryButton(), placement.primary);
    PlaceWindow(CloseButton(), placement.close);

    ImageButtonStyle style;
    style.font = button_font_.Get();
    style.text_colour = ButtonTextColour(RGB(0, 0, 0));
    const ScaledImage& primary_strip = content().primary_look == ButtonLook::kMain ? main_strip : plain_strip;
    primary_button_ = std::make_unique<StretchButton>(PrimaryButton(), primary_strip, background_, style, Scale(16));
    if (secondary.empty()) {
      ::ShowWindow(SecondaryButton(), SW_HIDE);
      secondary_button_.reset();
    } else {
      PlaceWindow(SecondaryButton(), placement.secondary);
      secondary_button_ =
          std::make_unique<StretchButton>(SecondaryButton(), plain_strip, background_, style, Scale(16));
    }
    close_button_ = std::make_unique<StretchButton>(CloseButton(), close_strip, background_, style, 0);
    close_name_.Reset(CloseButton(), ROLE_SYSTEM_PUSHBUTTON, LoadUiString(kStringCloseButton, language()));

    if (CurrentWindowsVersion() >= VERSION_WIN8) {
      int diameter = 2 * Scale(16);
      ::SetWindowRgn(dialog,
                     ::CreateRoundRectRgn(0, 0, placement.window.cx + 1, placement.window.cy + 1, diameter, diameter),
                     FALSE);
    }
    CenterWindow();
    CreateShadow();
  }

  void CreateShadow() {
    bool rounded = CurrentWindowsVersion() >= VERSION_WIN8;
    const int first = rounded ? IDR_DIALOG_SHADOW_TOP_LEFT : IDR_DIALOG_SHADOW_SQUARE_TOP_LEFT;
    FramedShadow::Images images;
    for (int index = 0; index < 8; ++index) images[index].Load(first + index, 0);
    shadow_.Create(window(), images, Scale(8), Scale(24));
  }

  void PaintBackground(HDC dc, const RECT& client) override {
    if (background_.IsEmpty()) {
      ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      return;
    }
    background_.Draw(dc, 0, 0, client.right, client.bottom, 0, 0, background_.Width(), background_.Height());
  }

  void MoveShadow() override { shadow_.Move(); }
  void DestroyShadow() override { shadow_.Destroy(); }
  COLORREF TextColour(bool title) const override { return title ? RGB(0, 0, 0) : RGB(87, 87, 87); }

  ScopedProductTextFont product_font_;
  ScopedFont title_font_;
  ScopedFont text_font_;
  ScopedFont button_font_;
  ScaledImage background_;
  std::unique_ptr<StretchButton> primary_button_;
  std::unique_ptr<StretchButton> secondary_button_;
  std::unique_ptr<StretchButton> close_button_;
  ScopedAccessibleWrapper close_name_;
  FramedShadow shadow_;
};

enum class ClassicShape { kNotice, kResume, kOldWindows };

class ClassicDialog : public TemplateDialog {
 public:
  ClassicDialog(const DialogContent& content, LANGID language, ClassicShape shape, std::function<void()> action)
      : TemplateDialog(content, language, nullptr, std::move(action)), shape_(shape) {}

 private:
  RECT ShadowMargins() const { return {Scale(7), Scale(4), Scale(6), Scale(8)}; }

  void OnInitDialog() override {
    HWND dialog = window();
    // Arial has no Chinese or Japanese glyphs: those texts take the system face.
    std::wstring face(UiFontFaceName(L"Arial", language(), CurrentWindowsVersion()));
    title_font_ = CreateUiFont(face.c_str(), Scale(16), FW_NORMAL);
    text_font_ = CreateUiFont(face.c_str(), Scale(13), FW_NORMAL);
    button_font_ = CreateUiFont(face.c_str(), Scale(14), FW_NORMAL);
    background_.Load(IDR_CLASSIC_DIALOG_BACKGROUND, 0);
    ScaledImage primary_strip;
    primary_strip.Load(IDR_CLASSIC_DIALOG_PRIMARY_BUTTON, 0);
    ScaledImage secondary_strip;
    secondary_strip.Load(IDR_CLASSIC_DIALOG_SECONDARY_BUTTON, 0);
    if (high_contrast()) {
      background_ = PlainPicture({background_.Width(), background_.Height()});
      primary_strip = ButtonStripPicture(FrameSize(primary_strip));
      secondary_strip = ButtonStripPicture(FrameSize(secondary_strip));
    }

    RECT margins = ShadowMargins();
    int width = background_.Width() - margins.left - margins.right;
    int height = background_.Height() - margins.top - margins.bottom;
    if (shape_ == ClassicShape::kOldWindows) {
      width = background_.Width() - 13;
      height = background_.Height() - 52;
    }
    ::SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    std::wstring title = TitleText();
    std::wstring text = BodyText();
    std::wstring secondary = LoadText(content().secondary, language());
    ::SetWindowTextW(dialog, title.c_str());
    ::SetWindowTextW(TitleControl(), title.c_str());
    ::SetWindowTextW(TextControl(), text.c_str());
    ::SetWindowTextW(PrimaryButton(), LoadText(content().primary, language()).c_str());
    ::SetWindowTextW(SecondaryButton(), secondary.c_str());
    ::SendMessageW(TitleControl(), WM_SETFONT, reinterpret_cast<WPARAM>(title_font_.Get()), FALSE);
    ::SendMessageW(TextControl(), WM_SETFONT, reinterpret_cast<WPARAM>(text_font_.Get()), FALSE);

    SIZE primary_size = FrameSize(primary_strip);
    SIZE secondary_size = FrameSize(secondary_strip);
    RECT text_rect = {Scale(40), 0, width - Scale(30), height - Scale(20) - primary_size.cy};
    text_rect.top = text_rect.bottom - Scale(30) - Scale(20);
    RECT title_rect = {Scale(40), Scale(30), width - Scale(30), text_rect.top};
    if (shape_ == ClassicShape::kOldWindows) {
      title_rect = {40, 30, width - 30, height - primary_size.cy - 30};
      text_rect = {};
    }
    // A long title (Japanese on the old-Windows notice) or text (German on
    // the corporate update) keeps every line in a smaller face instead of
    // losing one: down to 11 px.
    constexpr UINT kStaticFormat = DT_WORDBREAK | DT_NOPREFIX;
    title_font_ = FittingFont(TitleControl(), face.c_str(), FW_NORMAL, Scale(16), Scale(11), kStaticFormat, title,
                              {title_rect.right - title_rect.left, title_rect.bottom - title_rect.top});
    ::SendMessageW(TitleControl(), WM_SETFONT, reinterpret_cast<WPARAM>(title_font_.Get()), FALSE);
    text_font_ = FittingFont(TextControl(), face.c_str(), FW_NORMAL, Scale(13), Scale(11), kStaticFormat, text,
                             {text_rect.right - text_rect.left, text_rect.bottom - text_rect.top});
    ::SendMessageW(TextControl(), WM_SETFONT, reinterpret_cast<WPARAM>(text_font_.Get()), FALSE);
    PlaceWindow(TitleControl(), title_rect);
    PlaceWindow(TextControl(), text_rect);
    if (text.empty()) ::ShowWindow(TextControl(), SW_HIDE);

    // A button's text that is wider than its picture ("Ulteriori
    // informazioni") takes a smaller face, both buttons alike.
    std::wstring primary = LoadText(content().primary, language());
    int button_height = FittingHeight(PrimaryButton(), face.c_str(), FW_NORMAL, Scale(14), Scale(11),
                                      DT_SINGLELINE, primary, primary_size);
    if (!secondary.empty()) {
      button_height = std::min(button_height, FittingHeight(SecondaryButton(), face.c_str(), FW_NORMAL, Scale(14),
                                                            Scale(11), DT_SINGLELINE, secondary, secondary_size));
    }
    button_font_ = CreateUiFont(face.c_str(), button_height, FW_NORMAL);

    int button_top = height - Scale(20) - primary_size.cy;
    int primary_left = Scale(40);
    if (shape_ == ClassicShape::kResume)
      primary_left = width - primary_size.cx - secondary_size.cx - Scale(30) - 10;
    ImageButtonStyle style;
    style.font = button_font_.Get();
    style.text_colour = ButtonTextColour(RGB(70, 70, 70));
    style.background_offset = {margins.left, margins.top};
    style.focus_rect_inset = 2;
    primary_button_ = std::make_unique<ImageButton>(PrimaryButton(), primary_strip, background_, style);
    primary_button_->PlaceAt({primary_left, button_top});
    if (secondary.empty()) {
      ::ShowWindow(SecondaryButton(), SW_HIDE);
      secondary_button_.reset();
    } else {
      secondary_button_ = std::make_unique<ImageButton>(SecondaryButton(), secondary_strip, background_, style);
      secondary_button_->PlaceAt({primary_left + primary_size.cx + Scale(10), button_top});
    }
    // The classic picture has no close button: Escape closes it.
    ::ShowWindow(CloseButton(), SW_HIDE);
    CenterWindow();
    // The classic shadow is cut from the picture, which high contrast replaces.
    if (!high_contrast()) {
      shadow_ = std::make_unique<DialogShadow>();
      shadow_->Create(dialog, background_, margins);
    }
  }

  void PaintBackground(HDC dc, const RECT& client) override {
    if (background_.IsEmpty()) {
      ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      return;
    }
    RECT margins = ShadowMargins();
    background_.Draw(dc, -margins.left, -margins.top);
  }

  void MoveShadow() override {
    if (shadow_) shadow_->Move();
  }
  void DestroyShadow() override { shadow_.reset(); }
  COLORREF TextColour(bool) const override { return RGB(70, 70, 70); }

  ClassicShape shape_;
  ScopedFont title_font_;
  ScopedFont text_font_;
  ScopedFont button_font_;
  ScaledImage background_;
  std::unique_ptr<ImageButton> primary_button_;
  std::unique_ptr<ImageButton> secondary_button_;
  std::unique_ptr<DialogShadow> shadow_;
};

LANGID BrandLanguage(const BrandInfo* brand) {
  return brand ? static_cast<LANGID>(brand->language_id()) : kEnglish;
}

void OpenWithShell(const std::wstring& url) {
  ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOW);
}

// The primary action as something a button can run.
std::function<void()> BindAction(DialogAction action, const BrandInfo* brand, const DistribInfoParams* params,
                                 const DialogServices& services) {
  if (action == DialogAction::kNone) return nullptr;
  if (action == DialogAction::kLaunchBrowser) {
    auto launch = services.launch_browser ? services.launch_browser : std::function<bool()>(&LaunchInstalledBrowser);
    return [launch] { launch(); };
  }
  std::wstring url = DialogActionUrl(action, brand, params);
  auto open = services.open_url ? services.open_url : std::function<void(const std::wstring&)>(&OpenWithShell);
  return [open, url] {
    if (!url.empty()) open(url);
  };
}

}  // namespace

DialogContent RedesignedDialogContent(int kind) {
  if (kind < 0 || kind >= kRedesignedKindCount) {
    LOG_TAG(ERROR, "RedesignedDialogContent") << "Unexpected dialog kind " << kind;
    std::abort();
  }
  return kRedesignedKinds[kind];
}

int RedesignedKindForNotice(NoticeType type) {
  switch (type) {
    case kNoticeHigherVersion:
      return kKindHigherVersion;
    case kNoticeNotEnoughDiskSpace:
      return kKindNotEnoughDiskSpace;
    case kNoticeCorporateHigherVersion:
      return kKindCorporateHigherVersion;
    case kNoticeCorporateUpdate:
      return kKindCorporateUpdate;
  }
  return kKindHigherVersion;
}

DialogContent ClassicNoticeContent(NoticeType type) {
  switch (type) {
    case kNoticeHigherVersion:
      return {kStringHigherVersionTitle, kStringHigherVersionText, kStringOkButton, 0};
    case kNoticeNotEnoughDiskSpace:
      return {kStringNotEnoughDiskSpaceTitle, kStringNotEnoughDiskSpaceText, kStringOkButton, 0};
    case kNoticeCorporateHigherVersion:
      return {kStringCorporateHigherVersionTitle, kStringCorporateHigherVersionText, kStringOkButton, 0};
    case kNoticeCorporateUpdate:
      return {kStringCorporateUpdateTitle, kStringCorporateUpdateText, kStringUpdateButton,
              kStringCorporateUpdateCancelButton};
  }
  return {kStringHigherVersionTitle, kStringHigherVersionText, kStringOkButton, 0};
}

DialogContent ClassicResumeContent() {
  return {kStringResumeQuestion, 0, kStringResumeButton, kStringResumeCancelButton, kPlain, DialogAction::kNone,
          kDialogPrimary};
}

DialogContent ClassicOldWindowsContent() {
  return {kStringOldWindowsTitle, kStringOldWindowsText, kStringLearnMoreButton, kStringOldWindowsCloseButton, kPlain,
          DialogAction::kHelpPage};
}

std::string_view SiteRegion(std::string_view brand_id) {
  if (brand_id == "ua-uk" || brand_id == "ua-ru") return "ua";
  if (brand_id == "int") return "com";
  if (brand_id == "tb") return "com.tr";
  return "ru";
}

std::wstring DialogActionUrl(DialogAction action, const BrandInfo* brand, const DistribInfoParams* params) {
  std::string_view region = SiteRegion(brand ? std::string_view(brand->brand_id()) : std::string_view());
  switch (action) {
    case DialogAction::kHelpPage:
      return Utf8ToWide(HostForRegion(hosts::kMainSiteTemplate, region) + kHelpPagePath);
    case DialogAction::kBrowserSite:
      return Utf8ToWide(HostForRegion(hosts::kBrowserWebSiteTemplate, region) + kBrowserSitePath);
    case DialogAction::kFeedbackPage:
      return Utf8ToWide(HostForRegion(hosts::kBrowserWebSiteTemplate, region) + kFeedbackPagePath);
    case DialogAction::kManualDownload:
      if (!brand || !params) return std::wstring();
      return Utf8ToWide(brand->GetManualDownloadUrl(*params));
    case DialogAction::kNone:
    case DialogAction::kLaunchBrowser:
      break;
  }
  return std::wstring();
}

RedesignedPlacement LayoutRedesignedDialog(const RedesignedMeasures& m) {
  const int left = Scale(30);
  const int top = Scale(30);
  const int right = Scale(50);
  const int bottom = Scale(30);
  const int gap = Scale(16);
  const bool has_text = m.text.cx > 0 || m.text.cy > 0;
  const bool has_secondary = m.secondary_text.cx > 0 || m.secondary_text.cy > 0;
  SIZE primary = {m.primary_text.cx + 2 * Scale(16), m.primary_text.cy + 2 * Scale(10)};
  SIZE secondary = {m.secondary_text.cx + 2 * Scale(16), m.secondary_text.cy + 2 * Scale(10)};
  int button_top = top + m.title.cy + (has_text ? m.text.cy + gap : 0) + Scale(24);
  int buttons_width = (has_secondary ? secondary.cx + Scale(10) : 0) + Scale(40) + primary.cx;
  int width = std::max<int>(buttons_width, std::max<int>(m.title.cx, m.text.cx) + right) + left;
  int height = button_top + primary.cy + bottom;

  RedesignedPlacement placement;
  placement.window = {width, height};
  placement.title = {left, top, left + m.title.cx, top + m.title.cy};
  int text_top = top + m.title.cy + gap;
  placement.text = has_text ? RECT{left, text_top, left + m.text.cx, text_top + m.text.cy} : RECT{};
  int row_right = width - Scale(40);
  if (has_secondary) {
    placement.secondary = {row_right - secondary.cx, button_top, row_right, button_top + secondary.cy};
    row_right = placement.secondary.left - Scale(10);
  }
  placement.primary = {row_right - primary.cx, button_top, row_right, button_top + primary.cy};
  placement.close = {width - m.close_image.cx - 10, 10, width - 10, 10 + m.close_image.cy};
  return placement;
}

ErrorDialogFactory::ErrorDialogFactory(const BrandInfo* brand, const DistribInfoParams* params,
                                       DialogServices services)
    : brand_(brand), params_(params), services_(std::move(services)) {}

std::unique_ptr<InstallerDialog> ErrorDialogFactory::CreateKindDialog(int kind, TextSuffix suffix) const {
  DialogContent content = RedesignedDialogContent(kind);
  return std::make_unique<RedesignedDialog>(content, BrandLanguage(brand_), std::move(suffix),
                                            BindAction(content.action, brand_, params_, services_));
}

std::unique_ptr<InstallerDialog> ErrorDialogFactory::CreateCryptoProDialog() const {
  return CreateKindDialog(kKindCryptoProvider);
}

std::unique_ptr<InstallerDialog> ErrorDialogFactory::CreateDownloadDialog() const {
  return CreateKindDialog(kKindDownloadError);
}

std::unique_ptr<InstallerDialog> ErrorDialogFactory::CreateDefaultErrorDialog() const {
  if (!InstallerCommandLine::ProcessCommandLine().IsSwitchPresent(switches::kDisableErrorDialogDownloadButton))
    return CreateDownloadDialog();
  std::wstring log_path = GetLogFilePath();
  return CreateKindDialog(kKindSupportError, [log_path](const std::wstring& text) { return text + L"\r\n" + log_path; });
}

std::unique_ptr<InstallerDialog> ErrorDialogFactory::CreateForFailure(int32_t failure_kind) const {
  switch (failure_kind) {
    case kFailureNone:
      return nullptr;
    case kFailureDownloadCryptoProvider:
      return CreateCryptoProDialog();
    case kFailureSetupWrongArchitecture:
      return CreateKindDialog(kKindWrongArchitecture);
    case kFailureSetupExitCode7:
      return CreateKindDialog(kKindAlreadyInstalled);
    case kFailureSetupExitCode8:
      return CreateKindDialog(kKindFolderLocked);
    default:
      return CreateDefaultErrorDialog();
  }
}

InstallerDialogFactory::InstallerDialogFactory(const BrandInfo* brand, const DistribInfoParams* params,
                                               DialogServices services)
    : brand_(brand), params_(params), services_(services), errors_(brand, params, services) {}

bool InstallerDialogFactory::redesigned() const { return brand_ && brand_->dialogs_redesign(); }

std::unique_ptr<InstallerDialog> InstallerDialogFactory::CreateResumeDialog() {
  if (redesigned()) return errors_.CreateKindDialog(kKindResume);
  return std::make_unique<ClassicDialog>(ClassicResumeContent(), BrandLanguage(brand_), ClassicShape::kResume,
                                         nullptr);
}

std::unique_ptr<InstallerDialog> InstallerDialogFactory::CreateNotice(NoticeType type) {
  if (redesigned()) return errors_.CreateKindDialog(RedesignedKindForNotice(type));
  return std::make_unique<ClassicDialog>(ClassicNoticeContent(type), BrandLanguage(brand_), ClassicShape::kNotice,
                                         nullptr);
}

std::unique_ptr<InstallerDialog> InstallerDialogFactory::CreateForFailure(int32_t failure_kind) {
  return errors_.CreateForFailure(failure_kind);
}

std::unique_ptr<InstallerDialog> InstallerDialogFactory::CreateOldWindowsDialog() {
  if (redesigned()) return errors_.CreateKindDialog(kKindOldWindows);
  DialogContent content = ClassicOldWindowsContent();
  return std::make_unique<ClassicDialog>(content, BrandLanguage(brand_), ClassicShape::kOldWindows,
                                         BindAction(content.action, brand_, params_, services_));
}

std::unique_ptr<DialogFactory> CreateDialogFactory(const BrandInfo* brand, const DistribInfoParams* params) {
  return std::make_unique<InstallerDialogFactory>(brand, params);
}

std::unique_ptr<InstallerDialog> CreateNotEnoughDiskSpaceNotice(LANGID language) {
  return std::make_unique<ClassicDialog>(ClassicNoticeContent(kNoticeNotEnoughDiskSpace), language,
                                         ClassicShape::kNotice, nullptr);
}

}  // namespace ostrel
