#include "ui/text_fit.h"

#include <algorithm>
#include <utility>

#include "base/scoped_gdi.h"
#include "ui/ui_drawing.h"

namespace ostrel {
namespace {

// Flags that place a measured text, not shape it.
constexpr UINT kPlacementFlags = DT_VCENTER | DT_BOTTOM | DT_CENTER | DT_RIGHT;

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

// Shown by its own style, whether or not its parent is on screen yet.
bool IsShown(HWND window) { return (::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

RECT WindowRectInParent(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Where the text is painted inside its area, as DrawText places it.
RECT PaintedRect(const RECT& area, UINT format, SIZE needed) {
  RECT rect = {area.left, area.top, area.left + needed.cx, area.top + needed.cy};
  int spare_x = Width(area) - needed.cx;
  int spare_y = Height(area) - needed.cy;
  if (format & DT_CENTER) ::OffsetRect(&rect, spare_x / 2, 0);
  if (format & DT_RIGHT) ::OffsetRect(&rect, spare_x, 0);
  if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) ::OffsetRect(&rect, 0, spare_y / 2);
  if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) ::OffsetRect(&rect, 0, spare_y);
  return rect;
}

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t class_name[32] = {};
  return ::GetClassNameW(window, class_name, 32) && ::lstrcmpiW(class_name, name) == 0;
}

// The flags a standard control paints its text with.
UINT StandardFormat(HWND control) {
  LONG style = ::GetWindowLongW(control, GWL_STYLE);
  if (HasClass(control, L"Button"))
    return (style & BS_MULTILINE) ? DT_WORDBREAK | DT_CENTER : DT_SINGLELINE | DT_CENTER | DT_VCENTER;
  UINT format = DT_WORDBREAK;
  if ((style & SS_TYPEMASK) == SS_CENTER) format |= DT_CENTER;
  if ((style & SS_TYPEMASK) == SS_RIGHT) format |= DT_RIGHT;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  return format;
}

}  // namespace

SIZE MeasureTextIn(HWND window, HFONT font, UINT format, const std::wstring& text, int width) {
  if (text.empty()) return {0, 0};
  ScopedWindowDC dc(window);
  if (!dc.Get()) return {0, 0};
  ScopedSelectObject selected(dc.Get(), font);
  RECT rect = {0, 0, std::max(width, 0), 0};
  ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &rect,
              (format & ~kPlacementFlags) | DT_CALCRECT);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

bool GetControlTextLayout(HWND control, TextLayout* layout) {
  if (!IsShown(control)) return false;
  if (const DialogBase* object = DialogBase::FromWindow(control)) {
    if (!object->GetTextLayout(layout)) return false;
  } else {
    layout->text = WindowText(control);
    ::GetClientRect(control, &layout->area);
    layout->font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    layout->format = StandardFormat(control);
    layout->text_only = HasClass(control, L"Static");
  }
  return !layout->text.empty();
}

std::vector<TextFitProblem> FindTextFitProblems(HWND parent) {
  struct Child {
    HWND window;
    bool has_text;
    TextLayout layout;
    SIZE needed;
    RECT extent;  // what it paints, in the parent's coordinates
  };
  std::vector<Child> children;
  for (HWND window = ::GetWindow(parent, GW_CHILD); window; window = ::GetWindow(window, GW_HWNDNEXT)) {
    if (!IsShown(window)) continue;
    Child child{window, false, {}, {0, 0}, WindowRectInParent(window)};
    child.has_text = GetControlTextLayout(window, &child.layout);
    if (child.has_text) {
      const TextLayout& layout = child.layout;
      child.needed = layout.measured.cx >= 0
                         ? layout.measured
                         : MeasureTextIn(window, layout.font, layout.format, layout.text, Width(layout.area));
      if (layout.text_only) {
        RECT painted = PaintedRect(layout.area, layout.format, child.needed);
        ::OffsetRect(&painted, child.extent.left, child.extent.top);
        child.extent = painted;
      }
    }
    children.push_back(std::move(child));
  }
  // A pair that overlaps is told once, by the text that paints nothing but
  // itself (a title running into a box) where there is one.
  std::stable_partition(children.begin(), children.end(), [](const Child& c) { return c.layout.text_only; });
  std::vector<std::pair<HWND, HWND>> told;
  std::vector<TextFitProblem> problems;
  for (const Child& child : children) {
    if (!child.has_text) continue;
    const TextLayout& layout = child.layout;
    SIZE available = {Width(layout.area), Height(layout.area)};
    TextFitProblem problem{::GetDlgCtrlID(child.window), layout.text, child.needed, available};
    if (child.needed.cx > available.cx || child.needed.cy > available.cy) {
      problems.push_back(problem);
      continue;
    }
    RECT painted = PaintedRect(layout.area, layout.format, child.needed);
    RECT window_rect = WindowRectInParent(child.window);
    ::OffsetRect(&painted, window_rect.left, window_rect.top);
    for (const Child& sibling : children) {
      const std::vector<HWND>& theirs = sibling.layout.overlays;
      if (sibling.window == child.window ||
          std::find(layout.overlays.begin(), layout.overlays.end(), sibling.window) != layout.overlays.end() ||
          std::find(theirs.begin(), theirs.end(), child.window) != theirs.end() ||
          std::find(told.begin(), told.end(), std::pair{sibling.window, child.window}) != told.end()) {
        continue;
      }
      RECT overlap = {};
      if (::IntersectRect(&overlap, &painted, &sibling.extent)) {
        problem.overlaps = true;
        problem.overlapped_id = ::GetDlgCtrlID(sibling.window);
        told.emplace_back(child.window, sibling.window);
        problems.push_back(problem);
        break;
      }
    }
  }
  return problems;
}

int FittingHeight(HWND window, const wchar_t* face, int weight, int height, int min_height, UINT format,
                  const std::wstring& text, SIZE size) {
  for (; height > min_height; --height) {
    ScopedFont font = CreateUiFont(face, height, weight);
    SIZE needed = MeasureTextIn(window, font.Get(), format, text, size.cx);
    if (needed.cx <= size.cx && needed.cy <= size.cy) break;
  }
  return height;
}

ScopedFont FittingFont(HWND window, const wchar_t* face, int weight, int height, int min_height, UINT format,
                       const std::wstring& text, SIZE size) {
  return CreateUiFont(face, FittingHeight(window, face, weight, height, min_height, format, text, size), weight);
}

}  // namespace ostrel
