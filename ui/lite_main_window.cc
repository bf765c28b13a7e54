#include "ui/lite_main_window.h"

#include <oleacc.h>

#include <algorithm>
#include <vector>

#include "base/scoped_gdi.h"
#include "config/brand_info.h"
#include "resources/string_ids.h"
#include "ui/high_contrast.h"
#include "ui/link_markup.h"
#include "ui/localized_strings.h"
#include "ui/text_fit.h"
#include "ui/ui_drawing.h"
#include "ui/ui_scale.h"

namespace ostrel {
namespace {

// Room between the statistics box and the default-browser box below it.
constexpr int kCheckBoxSpacing = 4;
// The smallest title size, in logical pixels, before a title wraps to a
// third line.
constexpr int kTitleFloorSize = 26;
// The least space between the title's last line and the boxes below it.
constexpr int kTitleGap = 12;
// Ids other editions of the template give first-screen controls; this
// template has none, but the progress screen removes them all the same.
constexpr int kOtherEditionFirstScreenIds[] = {2093, 2094};
// Controls of the first screen that the progress screen removes.
constexpr int kFirstScreenIds[] = {kInstallButtonId,      kLicenseLinkId,  kDefaultCheckBoxId,
                                   kStatisticsCheckBoxId, kPinCheckBoxId,  kOtherEditionFirstScreenIds[0],
                                   kOtherEditionFirstScreenIds[1], kPrivacyLinkId, kLicenseTextId};

int LayoutKind(bool default_box, bool statistics_box) { return (default_box ? 1 : 0) + (statistics_box ? 2 : 0); }

SIZE SizeOf(const ScaledImage& image) { return {image.Width(), image.Height()}; }

// One frame of a strip of `frames`.
SIZE FrameSizeOf(const ScaledImage& strip, int frames) { return {strip.Width() / frames, strip.Height()}; }

RECT ClientRect(HWND window) {
  RECT rect = {};
  ::GetClientRect(window, &rect);
  return rect;
}

}  // namespace

LiteMainWindow::LiteMainWindow(const BrandInfo* brand, const DistribInfoParams* params, bool create_installer,
                               MainWindowServices services)
    : MainWindow(brand, params, create_installer, std::move(services)),
      layout_(CreateLayout(brand, params, LayoutKind(offers_default_box(), offers_statistics_box()))),
      theme_(CreateTheme(brand, params, layout_)),
      high_contrast_(HighContrastOn()),
      colours_(high_contrast_ ? HighContrastColors() : theme_->Colors()) {}

LiteMainWindow::~LiteMainWindow() { StopInstallation(); }

int LiteMainWindow::ProgressPosition() const { return progress_bar_ ? progress_bar_->GetPos() : -1; }

void LiteMainWindow::SetTexts() {
  HWND window = this->window();
  ::SetWindowTextW(window, LoadUiString(kStringWindowTitle, language()).c_str());
  SetItemText(kInstallButtonId, kStringInstallButton, language());
  SetItemText(kDefaultCheckBoxId, theme_->DefaultCheckBoxStringId(), language());
  SetItemText(kPrivacyLinkId, kStringPrivacyPolicy, language());
  SetItemText(kTitleId, theme_->TitleStringId(), language());
  if (pin_offer_state() == 2 || pin_offer_state() == 3) SetItemText(kPinCheckBoxId, kStringPinSiteOffer, language());
  std::wstring label = StatisticsLabelMarkup(LoadUiString(kStringStatisticsConsent, language()),
                                             LoadUiString(kStringPrivacyPolicy, language()));
  ::SetDlgItemTextW(window, kStatisticsCheckBoxId, label.c_str());
  status_prefixes_[0] = LoadUiString(kStringStatusDownloading, language());
  status_prefixes_[1] = LoadUiString(kStringStatusInstalling, language());
  status_prefixes_[2] = LoadUiString(kStringStatusAlmostDone, language());
}

void LiteMainWindow::CreateFonts() {
  title_font_ = CreateThemeFont(theme_->TitleFont());
  button_font_ = CreateThemeFont(theme_->ButtonFont());
  text_font_ = CreateThemeFont(theme_->TextFont());
  link_font_ = CreateThemeFont(theme_->LinkFont(), true);
  check_box_font_ = CreateThemeFont(theme_->CheckBoxFont());
  privacy_font_ = CreateThemeFont(theme_->PrivacyLinkFont(), true);
}

void LiteMainWindow::ShapeWindow() {
  background_.Load(theme_->BackgroundImages());
  logo_.Load(theme_->LogoImages());
  first_screen_minimize_.Load(theme_->FirstScreenMinimizeImages());
  if (high_contrast_) {
    background_ = PlainPicture(SizeOf(background_));
    first_screen_minimize_ = CaptionStripPicture(SizeOf(first_screen_minimize_), CaptionGlyph::kMinimize, 1);
  }
  int width = background_.IsEmpty() ? Scale(layout_->Width()) : background_.Width();
  int height = background_.IsEmpty() ? Scale(layout_->Height()) : background_.Height();
  ::SetWindowPos(window(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (int radius = layout_->CornerRadius()) {
    ::SetWindowRgn(window(), ::CreateRoundRectRgn(0, 0, width, height, 2 * Scale(radius), 2 * Scale(radius)),
                   FALSE);
  }
  CenterWindow();
}

void LiteMainWindow::PlaceControl(int id, const RECT& logical_rect) {
  RECT rect = ScaleRect(logical_rect);
  ::SetWindowPos(::GetDlgItem(window(), id), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void LiteMainWindow::CreateControls() {
  HWND window = this->window();
  const ThemeColors& colours = this->colours();

  // The license sentence: plain pieces and the link, centred line by line.
  std::wstring sentence = LoadUiString(kStringLicenseSentence, language());
  if (!sentence.empty() && sentence.back() == L'.') sentence.pop_back();
  SentenceStyle sentence_style;
  sentence_style.text = {text_font_.Get(), colours.license_text, colours.license_text_alpha};
  sentence_style.link = {link_font_.Get(), colours.license_link, colours.license_link_alpha};
  sentence_style.text_id = kLicenseTextId;
  sentence_style.link_id = kLicenseLinkId;
  sentence_style.line_spacing = theme_->LineSpacing();
  sentence_style.center_lines = theme_->CenterLicenseLines();
  license_sentence_ =
      BuildSentenceWindows(window, ScaleRect(layout_->LicenseRect()), sentence, background_, sentence_style);
  if (!license_sentence_.links.empty()) {
    license_name_ = std::make_unique<ScopedAccessibleWrapper>(
        license_sentence_.links.front()->window(), ROLE_SYSTEM_LINK,
        StripLinkMarkup(LoadUiString(kStringLicenseName, language())));
  }

  ScaledImage install_strip;
  install_strip.Load(theme_->InstallButtonImages());
  if (high_contrast_) install_strip = ButtonStripPicture(FrameSizeOf(install_strip, 3));
  ImageButtonStyle install_style;
  install_style.font = button_font_.Get();
  install_style.text_colour = colours.install_button_text;
  install_style.text_insets = ScaleRect(layout_->InstallButtonTextInsets());
  install_style.focus_rect_inset = Scale(layout_->FocusRectInset());
  install_button_ = std::make_unique<ImageButton>(::GetDlgItem(window, kInstallButtonId), install_strip,
                                                  background_, install_style);

  ScaledImage close_strip;
  close_strip.Load(theme_->CloseButtonImages());
  if (high_contrast_) close_strip = CaptionStripPicture(FrameSizeOf(close_strip, 3), CaptionGlyph::kClose);
  close_button_ = std::make_unique<ImageButton>(::GetDlgItem(window, kCloseButtonId), close_strip, background_,
                                                ImageButtonStyle{});
  close_name_.Reset(close_button_->window(), ROLE_SYSTEM_PUSHBUTTON, LoadUiString(kStringCloseButton, language()));
  ScaledImage minimize_strip;
  minimize_strip.Load(theme_->MinimizeButtonImages());
  if (high_contrast_) minimize_strip = CaptionStripPicture(FrameSizeOf(minimize_strip, 3), CaptionGlyph::kMinimize);
  minimize_button_ = std::make_unique<ImageButton>(::GetDlgItem(window, kMinimizeButtonId), minimize_strip,
                                                   background_, ImageButtonStyle{});
  minimize_name_.Reset(minimize_button_->window(), ROLE_SYSTEM_PUSHBUTTON,
                       LoadUiString(kStringCollapseButton, language()));

  ScaledImage check_strip;
  check_strip.Load(theme_->CheckBoxImages());
  if (high_contrast_) check_strip = CheckBoxStripPicture(FrameSizeOf(check_strip, 6));
  CheckBoxStyle style;
  style.label = {check_box_font_.Get(), colours.check_box_label, colours.check_box_label_alpha};
  style.gap = Scale(layout_->CheckBoxGap());
  if (offers_default_box()) {
    default_box_ = std::make_unique<ImageCheckBox>(::GetDlgItem(window, kDefaultCheckBoxId), check_strip,
                                                   background_, style, brand() && brand()->makes_browser_default());
  }
  if (offers_statistics_box()) {
    VerticalInsets insets = layout_->LabelInsets();
    statistics_box_ = std::make_unique<LinkCheckBox>(
        ::GetDlgItem(window, kStatisticsCheckBoxId), check_strip, background_, style,
        brand() && brand()->sends_statistics(), std::vector<int>{kPrivacyLinkId}, theme_->LineSpacing(),
        Scale(insets.top), Scale(insets.bottom));
    privacy_link_ = std::make_unique<LinkControl>(
        ::GetDlgItem(window, kPrivacyLinkId), background_,
        TextLook{privacy_font_.Get(), colours.privacy_link, colours.privacy_link_alpha});
  } else {
    ::ShowWindow(::GetDlgItem(window, kPrivacyLinkId), SW_HIDE);
  }
  if (pin_offer_state() == 2 || pin_offer_state() == 3) {
    pin_box_ = std::make_unique<ImageCheckBox>(::GetDlgItem(window, kPinCheckBoxId), check_strip, background_,
                                               style, pin_offer_state() == 2);
  }
  NameCheckBox(default_box_.get(), &default_box_name_);
  NameCheckBox(statistics_box_.get(), &statistics_box_name_);
  NameCheckBox(pin_box_.get(), &pin_box_name_);
  if (privacy_link_) {
    privacy_link_name_.Reset(privacy_link_->window(), ROLE_SYSTEM_LINK,
                             LoadUiString(kStringPrivacyPolicy, language()));
  }
  // The status line belongs to the progress screen.
  ::ShowWindow(::GetDlgItem(window, kStatusTextId), SW_HIDE);
  // The title's rectangle reaches down over the Install button: it stays
  // below its siblings and leaves their area alone.
  HWND title = ::GetDlgItem(window, kTitleId);
  ::SetWindowLongW(title, GWL_STYLE, ::GetWindowLongW(title, GWL_STYLE) | WS_CLIPSIBLINGS);
  ::SetWindowPos(title, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  title_ = std::make_unique<OwnerDrawnStatic>(title, background_,
                                              TextLook{title_font_.Get(), colours.title, TitleAlpha()});
}

void LiteMainWindow::NameCheckBox(const ImageCheckBox* box, ScopedAccessibleWrapper* name) {
  if (!box) return;
  name->Reset(box->window(), ROLE_SYSTEM_CHECKBUTTON, StripLinkMarkup(WindowText(box->window())));
  if (*name) (*name)->set_checked_source([box] { return box->IsChecked(); });
}

void LiteMainWindow::ShowFirstScreen() {
  HWND window = this->window();
  PlaceControl(kTitleId, layout_->TitleRect());
  RECT statistics_rect = ScaleRect(layout_->StatisticsCheckBoxRect());
  RECT default_rect = ScaleRect(layout_->DefaultCheckBoxRect());
  RECT install = ScaleRect(layout_->InstallButtonRect());
  // The boxes start where the layout puts the first of them; a title that
  // needs more room than it leaves above them moves them down.
  int boxes_top = statistics_box_ ? statistics_rect.top : default_box_ ? default_rect.top : install.top;
  int shift = FitTitle(boxes_top - Scale(kTitleGap) - ScaleRect(layout_->TitleRect()).top);
  int statistics_bottom = -1;
  if (statistics_box_) {
    RECT rect = statistics_rect;
    ::OffsetRect(&rect, 0, shift);
    int height = statistics_box_->MeasureHeight(rect.right - rect.left);
    ::SetWindowPos(statistics_box_->window(), nullptr, rect.left, rect.top, rect.right - rect.left, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(statistics_box_->window(), SW_SHOWNA);
    statistics_box_->PlaceLinks();
    statistics_bottom = rect.top + height;
  }
  if (default_box_) {
    RECT rect = default_rect;
    ::OffsetRect(&rect, 0, shift);
    if (statistics_bottom >= 0) rect.top = statistics_bottom + Scale(kCheckBoxSpacing);
    int height = default_box_->MeasureHeight(rect.right - rect.left);
    ::SetWindowPos(default_box_->window(), nullptr, rect.left, rect.top, rect.right - rect.left, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(default_box_->window(), SW_SHOWNA);
  }
  install_button_->PlaceAt({install.left, install.top});
  RECT close = ScaleRect(layout_->CloseButtonRect());
  close_button_->PlaceAt({close.left, close.top});
  ::InvalidateRect(window, nullptr, FALSE);
}

// The theme's title face fits two lines above the boxes in English; longer
// titles (German, French, Kazakh, Uzbek) first take a smaller size, down to
// the floor, before they may wrap to a third line. Returns how far the third
// line reaches past `room`: the boxes move down by that much.
int LiteMainWindow::FitTitle(int room) {
  HWND title = ::GetDlgItem(window(), kTitleId);
  std::wstring text = WindowText(title);
  RECT area = {};
  ::GetClientRect(title, &area);
  UiFontStyle style = theme_->TitleFont();
  const int floor = std::min(style.height, Scale(kTitleFloorSize));
  constexpr UINT kFormat = DT_WORDBREAK | DT_NOPREFIX;
  for (;; --style.height) {
    ScopedFont font = CreateThemeFont(style);
    SIZE needed = MeasureTextIn(title, font.Get(), kFormat, text, area.right);
    bool fits = needed.cy <= room && needed.cx <= area.right;
    if (fits || style.height <= floor) {
      title_font_ = std::move(font);
      title_->SetLook({title_font_.Get(), colours().title, TitleAlpha()});
      return fits ? 0 : needed.cy - room;
    }
  }
}

void LiteMainWindow::CreateProgressControls() {
  HWND window = this->window();
  const ThemeColors& colours = this->colours();
  first_slide_ = theme_->LoadFirstSlide();
  ScaledImage fill;
  ScaledImage track;
  fill.Load(theme_->ProgressFillImages());
  track.Load(theme_->ProgressTrackImages());
  // In high contrast the progress screen has no pictures: nothing to read
  // the status over but the window's own colour.
  if (high_contrast_) {
    first_slide_ = PlainPicture(SizeOf(first_slide_));
    fill = BarPicture(SizeOf(fill), COLOR_HIGHLIGHT);
    track = BarPicture(SizeOf(track), COLOR_GRAYTEXT);
  }
  progress_bar_ = std::make_unique<CustomProgressBar>(::GetDlgItem(window, kProgressBarId), fill, track, &first_slide_);
  PlaceControl(kProgressBarId, layout_->ProgressBarRect());
  PlaceControl(kStatusTextId, layout_->StatusTextRect());
  status_text_ = std::make_unique<OwnerDrawnStatic>(
      ::GetDlgItem(window, kStatusTextId), first_slide_,
      TextLook{text_font_.Get(), colours.status_text, colours.status_text_alpha});
  ::ShowWindow(minimize_button_->window(), SW_SHOW);

  RECT client = ClientRect(window);
  ProgressSlidesSettings settings;
  settings.size = {client.right - client.left, client.bottom - client.top};
  settings.brush = high_contrast_ ? ::GetSysColorBrush(COLOR_WINDOW) : theme_->SlideBrush();
  if (first_screen_skipped()) settings.initial_images.push_back(background_);
  settings.initial_images.push_back(first_slide_);
  if (brand() && !high_contrast_)
    settings.base_url = brand()->GetSlidesBaseUrl(theme_->IsDark() ? "dark/" : "new-identity/");
  set_slides(services().slides(settings));
}

void LiteMainWindow::ShowProgressControls() {
  HWND window = this->window();
  // Objects first, so each control gets its own procedure back before it
  // goes; a wrapper sub-classed its control last, so it goes first.
  default_box_name_.Reset();
  statistics_box_name_.Reset();
  pin_box_name_.Reset();
  privacy_link_name_.Reset();
  install_button_.reset();
  default_box_.reset();
  statistics_box_.reset();
  pin_box_.reset();
  privacy_link_.reset();
  license_name_.reset();
  license_sentence_ = SentenceWindows();
  if (!first_screen_skipped()) title_.reset();
  for (int id : kFirstScreenIds) {
    while (HWND control = ::GetDlgItem(window, id)) ::DestroyWindow(control);
  }
  if (!first_screen_skipped()) {
    if (HWND title = ::GetDlgItem(window, kTitleId)) ::DestroyWindow(title);
  }
  RECT minimize = ScaleRect(layout_->MinimizeButtonRect());
  minimize_button_->PlaceAt({minimize.left, minimize.top});
  if (first_screen_skipped()) {
    SetItemText(kTitleId, kStringSkippedFirstScreenTitle, language());
    PlaceControl(kTitleId, layout_->TitleRect());
    title_->SetBackground(first_slide_);
    RECT close = ScaleRect(layout_->CloseButtonRect());
    close_button_->PlaceAt({close.left, close.top});
    set_title_on_progress(true);
  }
  close_button_->SetBackground(first_slide_);
  minimize_button_->SetBackground(first_slide_);
  progress_bar_->SetRange(0, 100);
  progress_bar_->SetPos(0);
  ::ShowWindow(progress_bar_->window(), SW_SHOW);
  ::ShowWindow(status_text_->window(), SW_SHOW);
  if (first_screen_skipped()) {
    controls_on_first_slide_ = false;
    SetProgressControlsBackground(background_);
  } else {
    // Nothing draws the first screen's pictures once it is gone.
    background_ = ScaledImage();
    logo_ = ScaledImage();
    first_screen_minimize_ = ScaledImage();
  }
  progress_screen_ = true;
}

void LiteMainWindow::SetProgressControlsBackground(const ScaledImage& background) {
  controls_on_first_slide_ = &background == &first_slide_;
  if (title_) title_->SetBackground(background);
  if (progress_bar_) progress_bar_->SetBackground(background);
  if (status_text_) status_text_->SetBackground(background);
}

void LiteMainWindow::SetProgressPosition(int position) {
  progress_bar_->SetPos(position);
  int phase = static_cast<int>(StatusPhaseForPosition(position));
  ::SetWindowTextW(status_text_->window(), StatusText(status_prefixes_[phase], position).c_str());
  RECT status = ScaleRect(layout_->StatusTextRect());
  ::InvalidateRect(window(), &status, FALSE);
  ::InvalidateRect(status_text_->window(), nullptr, FALSE);
}

void LiteMainWindow::OnAnimationTick() {
  ProgressSlides* slides = this->slides();
  if (!slides) return;
  if (slides->HasAdvanced() && title_on_progress()) {
    title_.reset();
    if (HWND title = ::GetDlgItem(window(), kTitleId)) ::DestroyWindow(title);
    set_title_on_progress(false);
  }
  // Only a new slide changes the picture; the controls over it draw themselves.
  if (slides->AdvanceIfDue()) {
    OnSlideChanged();
    ::InvalidateRect(window(), nullptr, FALSE);
  }
}

// What lies over the slide or around it takes the new picture: the buttons,
// the progress controls once the slideshow has left the first screen's
// picture, and (from Windows 8 on) the shadow's edges.
void LiteMainWindow::OnSlideChanged() {
  ProgressSlides* slides = this->slides();
  if (!slides) return;
  const ScaledImage& current = slides->CurrentImage();
  if (current.IsEmpty()) return;
  close_button_->SetBackground(current);
  minimize_button_->SetBackground(current);
  if (windows_version() >= VERSION_WIN8 && shadow_) shadow_->Update(current);
  if (!controls_on_first_slide_ && slides->HasAdvanced()) SetProgressControlsBackground(first_slide_);
}

void LiteMainWindow::Paint() {
  HWND window = this->window();
  ScopedPaintDC paint(window);
  HDC dc = paint.Get();
  if (!dc || ::IsIconic(window)) return;
  // Painting changes nothing: what the picture decides is set when it changes.
  RECT client = ClientRect(window);
  ProgressSlides* slides = this->slides();
  if (progress_screen_ && slides) {
    PaintDoubleBuffered(dc, client, [slides](HDC canvas, const RECT& rect) { slides->Paint(canvas, rect); });
  } else {
    PaintFirstScreen(dc, client);
  }
}

void LiteMainWindow::PaintFirstScreen(HDC dc, const RECT& client) {
  if (background_.IsEmpty()) {
    ::FillRect(dc, &client, high_contrast_ ? ::GetSysColorBrush(COLOR_WINDOW) : theme_->SlideBrush());
  } else {
    background_.Draw(dc, client.left, client.top, client.right - client.left, client.bottom - client.top,
                     client.left, client.top, client.right - client.left, client.bottom - client.top);
  }
  RECT logo = ScaleRect(layout_->LogoRect());
  logo_.Draw(dc, logo.left, logo.top);
  RECT minimize = ScaleRect(layout_->MinimizeButtonRect());
  first_screen_minimize_.Draw(dc, minimize.left, minimize.top);
}

const ScaledImage& LiteMainWindow::WindowPicture() const {
  if (progress_screen_ && slides() && !slides()->CurrentImage().IsEmpty()) return slides()->CurrentImage();
  return background_;
}

void LiteMainWindow::CreateShadow() {
  shadow_ = std::make_unique<MainWindowShadow>(theme_->ShadowImages(), layout_->ShadowInset());
  shadow_->Create(window());
}

void LiteMainWindow::UpdateShadow() {
  if (shadow_) shadow_->Update(WindowPicture());
}

void LiteMainWindow::ShowShadow() {
  if (shadow_ && shadow_->window() && !::IsWindowVisible(shadow_->window())) shadow_->Show();
}

void LiteMainWindow::HideShadow() {
  if (shadow_) shadow_->Hide();
}

void LiteMainWindow::MoveShadow() {
  if (shadow_) shadow_->Move();
}

void LiteMainWindow::ClearFocusCues() {
  for (ImageButton* button : {install_button_.get(), close_button_.get(), minimize_button_.get()}) {
    if (button) button->ClearFocusCue();
  }
}

std::optional<bool> LiteMainWindow::CheckBoxState(int id) const {
  switch (id) {
    case kDefaultCheckBoxId:
      if (default_box_) return default_box_->IsChecked();
      break;
    case kStatisticsCheckBoxId:
      if (statistics_box_) return statistics_box_->IsChecked();
      break;
    case kPinCheckBoxId:
      if (pin_box_) return pin_box_->IsChecked();
      break;
    default:
      break;
  }
  return std::nullopt;
}

void LiteMainWindow::ToggleCheckBox(int id) {
  ImageCheckBox* box = id == kDefaultCheckBoxId      ? default_box_.get()
                       : id == kStatisticsCheckBoxId ? static_cast<ImageCheckBox*>(statistics_box_.get())
                                                     : pin_box_.get();
  if (box) box->Toggle();
}

}  // namespace ostrel
