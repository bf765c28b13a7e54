#include "ui/slideshow.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/scoped_gdi.h"
#include "base/scoped_handle.h"
#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

using testing::SolidStripImage;

TEST(SlideshowTest, SlideNamesCountFromTwoWithTwoDigits) {
  EXPECT_EQ(SlideFileName(2, true), "02.png");
  EXPECT_EQ(SlideFileName(9, false), "09.jpg");
  EXPECT_EQ(SlideFileName(10, true), "10.png");
}

// Each slide stays for the interval, sits in the bottom-left corner and is
// cut at the area's width; first_step decides where the second one comes from.
TEST(SlideshowTest, AdvancesOnTimeAndPlacesSlidesBottomLeft) {
  ScaledImage narrow = SolidStripImage({RGB(10, 20, 30)}, 40, 30);
  ScaledImage wide = SolidStripImage({RGB(40, 50, 60)}, 500, 60);
  ScaledImage third = SolidStripImage({RGB(70, 80, 90)}, 50, 50);
  uint64_t now = 1000;
  Slideshow show({300, 200}, std::make_unique<SlideSource>(std::vector<ScaledImage>{narrow, wide, third}, "", true, 1.0),
                 nullptr, 10000, 2, [&now] { return now; });
  EXPECT_TRUE(show.AdvanceIfDue());  // the first slide is new once
  EXPECT_FALSE(show.AdvanceIfDue());
  EXPECT_FALSE(show.HasAdvanced());
  EXPECT_TRUE(show.CurrentImage().SharesImageWith(narrow));
  EXPECT_EQ(show.destination().top, 170);
  EXPECT_EQ(show.destination().right, 40);

  now += 9999;
  EXPECT_FALSE(show.AdvanceIfDue());
  now += 1;
  EXPECT_TRUE(show.AdvanceIfDue());
  EXPECT_TRUE(show.HasAdvanced());
  EXPECT_TRUE(show.CurrentImage().SharesImageWith(third));  // index 2: first_step
  now += 10000;
  EXPECT_TRUE(show.AdvanceIfDue());
  // Index 3 wraps past the first image, which only the first pass shows.
  EXPECT_TRUE(show.CurrentImage().SharesImageWith(wide));
  RECT expected = {0, 140, 300, 200};
  EXPECT_TRUE(::EqualRect(&show.destination(), &expected));
  now += 10000;
  EXPECT_TRUE(show.AdvanceIfDue());
  EXPECT_TRUE(show.CurrentImage().SharesImageWith(third));
}

// Without any image only the slide brush is painted; with one, the slide
// covers the brush in its corner.
TEST(SlideshowTest, PaintsTheBrushAndTheSlide) {
  ScopedBrush brush(::CreateSolidBrush(RGB(207, 207, 207)));
  ScopedWindowDC screen(nullptr);
  ScopedMemoryDC memory(::CreateCompatibleDC(screen.Get()));
  ScopedBitmap bitmap(::CreateCompatibleBitmap(screen.Get(), 100, 80));
  ScopedSelectObject selected(memory.Get(), bitmap.Get());
  HDC dc = memory.Get();
  RECT area = {0, 0, 100, 80};

  Slideshow empty({100, 80}, std::make_unique<SlideSource>(std::vector<ScaledImage>{}, "", true, 1.0), brush.Get());
  EXPECT_TRUE(empty.CurrentImage().IsEmpty());
  empty.Paint(dc, area);
  EXPECT_EQ(::GetPixel(dc, 5, 75), RGB(207, 207, 207));

  Slideshow show({100, 80},
                 std::make_unique<SlideSource>(std::vector<ScaledImage>{SolidStripImage({RGB(200, 0, 0)}, 30, 20)}, "",
                                               true, 1.0),
                 brush.Get());
  show.Paint(dc, area);
  EXPECT_EQ(::GetPixel(dc, 5, 75), RGB(200, 0, 0));
  EXPECT_EQ(::GetPixel(dc, 5, 50), RGB(207, 207, 207));
  EXPECT_EQ(::GetPixel(dc, 40, 75), RGB(207, 207, 207));

}

}  // namespace
}  // namespace ostrel
