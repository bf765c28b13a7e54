#include "ui/slide_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/maker_hosts.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/standin_test_util.h"
#include "ui/slideshow.h"
#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

using testing::FindLoggedRequests;
using testing::SolidStripImage;

// A slide folder of its own per test, with the stand-in's faults in front.
std::string SlidesBaseUrl(const std::string& fault, std::string* token) {
  char name[48];
  std::snprintf(name, sizeof(name), "t%lu-%llu", ::GetCurrentProcessId(), ::GetTickCount64());
  *token = name;
  return std::string(hosts::kDownloadCdn) + "/__fault/" + fault + "/browser/installer/new-identity/" + *token + "/";
}

// The slide names asked for, in order.
std::vector<std::string> RequestedSlides(const std::string& token) {
  std::vector<std::string> names;
  for (const std::string& line : FindLoggedRequests(token)) {
    size_t at = line.find("/x2/");
    if (at != std::string::npos) names.push_back(line.substr(at + 4, line.find('"', at) - at - 4));
  }
  return names;
}

TEST(SlideSourceTest, ServerWithoutSlidesKeepsTheBuiltInSlideAfterTenTries) {
  REQUIRE_STANDIN();
  testing::ScopedFakeOsFacts windows_10;
  ScaledImage first = SolidStripImage({RGB(1, 2, 3)}, 20, 10);
  std::string token;
  SlideSource source({first}, SlidesBaseUrl("slides=0", &token), true, 1.0);
  ASSERT_TRUE(source.WaitForDownloadsToEnd(60000));
  EXPECT_EQ(source.ImageCount(), 1u);
  EXPECT_EQ(RequestedSlides(token), std::vector<std::string>(10, "02.png"));
  for (size_t index = 0; index < 3; ++index) EXPECT_TRUE(source.GetSlide(index).SharesImageWith(first));
}

// A slide server that never runs out: the downloads end once the source
// holds its limit of pictures, the built-in one included.
TEST(SlideSourceTest, ServerThatNeverRunsOutOfSlidesStopsAtTheCountLimit) {
  REQUIRE_STANDIN();
  testing::ScopedFakeOsFacts windows_10;
  std::string token;
  SlideSource source({SolidStripImage({RGB(1, 2, 3)}, 20, 10)}, SlidesBaseUrl("slides=40", &token), true, 1.0);
  ASSERT_TRUE(source.WaitForDownloadsToEnd(120000));
  EXPECT_EQ(source.ImageCount(), kSlideCountLimit);
  EXPECT_EQ(RequestedSlides(token).size(), kSlideCountLimit - 1);
}

// First screen skipped, Windows 7: the background once, then the first slide
// and the downloaded ones over and over.
TEST(SlideSourceTest, SkippedFirstScreenShowsItsBackgroundOnlyOnTheFirstPass) {
  REQUIRE_STANDIN();
  testing::ScopedFakeOsFacts facts;
  facts.SetWindows(6, 1, 7601);
  ScaledImage background = SolidStripImage({RGB(9, 9, 9)}, 30, 10);
  ScaledImage first = SolidStripImage({RGB(1, 2, 3)}, 20, 10);
  std::string token;
  auto source = std::make_unique<SlideSource>(std::vector<ScaledImage>{background, first},
                                              SlidesBaseUrl("slides=2", &token), true, 2.0);
  SlideSource* slides = source.get();
  ASSERT_TRUE(slides->WaitForDownloadsToEnd(60000));
  ASSERT_EQ(slides->ImageCount(), 4u);
  std::vector<std::string> expected = {"02.jpg", "03.jpg"};
  expected.insert(expected.end(), 10, "04.jpg");
  EXPECT_EQ(RequestedSlides(token), expected);

  uint64_t now = 0;
  Slideshow show({802, 430}, std::move(source), nullptr, 10000, 1, [&now] { return now; });
  std::vector<ScaledImage> shown;
  for (int step = 0; step < 8; ++step, now += 10000) {
    show.AdvanceIfDue();
    shown.push_back(show.CurrentImage());
  }
  EXPECT_TRUE(shown[0].SharesImageWith(background));
  EXPECT_TRUE(shown[1].SharesImageWith(first));
  // Downloaded slides are double-resolution: at scale 2 a pixel is a pixel.
  ASSERT_FALSE(shown[2].IsEmpty());
  EXPECT_EQ(shown[2].Width(), shown[2].PixelWidth());
  EXPECT_FALSE(shown[2].SharesImageWith(first));
  EXPECT_FALSE(shown[2].SharesImageWith(shown[3]));
  EXPECT_TRUE(shown[4].SharesImageWith(first));
  EXPECT_TRUE(shown[5].SharesImageWith(shown[2]));
  EXPECT_TRUE(shown[6].SharesImageWith(shown[3]));
  EXPECT_TRUE(shown[7].SharesImageWith(first));
}

// Passing the background again while downloads go on must not skip a number.
TEST(SlideSourceTest, WrapDuringDownloadsKeepsTheNumbering) {
  REQUIRE_STANDIN();
  testing::ScopedFakeOsFacts windows_10;
  ScaledImage background = SolidStripImage({RGB(9, 9, 9)}, 30, 10);
  ScaledImage first = SolidStripImage({RGB(1, 2, 3)}, 20, 10);
  std::string token;
  SlideSource source({background, first}, SlidesBaseUrl("status=404,delay=150", &token), true, 1.0);
  for (size_t index = 0; index < 5; ++index) source.GetSlide(index);
  EXPECT_TRUE(source.GetSlide(5).SharesImageWith(first));
  ASSERT_TRUE(source.WaitForDownloadsToEnd(60000));
  EXPECT_EQ(RequestedSlides(token), std::vector<std::string>(10, "02.png"));
}

// A picture far larger than the slide can use (a few hundred kilobytes can
// describe gigabytes of pixels) is refused before anything decodes it.
TEST(SlideSourceTest, PictureFarLargerThanTheSlideAreaIsRefusedUndecoded) {
  REQUIRE_STANDIN();
  testing::ScopedFakeOsFacts windows_10;
  testing::ScopedLogCapture log;
  std::string token;
  SlideSource source({SolidStripImage({RGB(1, 2, 3)}, 20, 10)}, SlidesBaseUrl("slides=1", &token), true, 1.0,
                     SIZE{40, 30});
  ASSERT_TRUE(source.WaitForDownloadsToEnd(60000));
  EXPECT_EQ(source.ImageCount(), 1u);
  EXPECT_TRUE(log.ContainsPrefix("Refused a slide of ")) << "no refusal logged";
}

// A host that never answers: each request gives up after its limit, and
// closing the window does not wait for the hanging one.
TEST(SlideSourceTest, HostThatNeverAnswersNeitherBlocksNorHoldsTheWindow) {
  REQUIRE_STANDIN();
  std::string token;
  auto source = std::make_unique<SlideSource>(std::vector<ScaledImage>{SolidStripImage({RGB(1, 2, 3)}, 20, 10)},
                                              SlidesBaseUrl("stall=30000", &token), true, 1.0);
  ::Sleep(kSlideDownloadLimitMs + 1500);
  EXPECT_EQ(RequestedSlides(token).size(), 2u);
  EXPECT_FALSE(source->WaitForDownloadsToEnd(0));
  uint64_t start = ::GetTickCount64();
  source.reset();
  EXPECT_LT(::GetTickCount64() - start, 500u);
}

}  // namespace
}  // namespace ostrel
