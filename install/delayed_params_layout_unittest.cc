#include "install/delayed_params_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ostrel {
namespace {

DelayedParams FullParams() {
  DelayedParams params;
  params.browser_arc_path = L"C:\\tmp\\qb1.tmp";
  params.clids_file_path = L"C:\\tmp\\clids.xml";
  params.tarvik_website_icon_file_path = L"C:\\tmp\\icon.ico";
  params.installer_data_path = L"C:\\tmp\\installer_data";
  params.brand_package_path = L"C:\\tmp\\BrandFile";
  params.partner_package_path = L"C:\\tmp\\PartnerFile";
  params.histogram_download_time = L"17";
  params.histogram_full_time = L"123456789012";
  params.send_statistics = 255;
  params.make_default = 1;
  params.install_qopin = 0;
  return params;
}

void ExpectSame(const DelayedParams& a, const DelayedParams& b) {
  EXPECT_EQ(a.browser_arc_path, b.browser_arc_path);
  EXPECT_EQ(a.clids_file_path, b.clids_file_path);
  EXPECT_EQ(a.tarvik_website_icon_file_path, b.tarvik_website_icon_file_path);
  EXPECT_EQ(a.installer_data_path, b.installer_data_path);
  EXPECT_EQ(a.brand_package_path, b.brand_package_path);
  EXPECT_EQ(a.partner_package_path, b.partner_package_path);
  EXPECT_EQ(a.partner_package_override_path, b.partner_package_override_path);
  EXPECT_EQ(a.histogram_download_time, b.histogram_download_time);
  EXPECT_EQ(a.histogram_full_time, b.histogram_full_time);
  EXPECT_EQ(a.send_statistics, b.send_statistics);
  EXPECT_EQ(a.make_default, b.make_default);
  EXPECT_EQ(a.install_qopin, b.install_qopin);
}

TEST(DelayedParamsLayoutTest, FieldsLandAtTheirOffsets) {
  DelayedParamsImage image = {};
  image.failure_kind = 6;
  ASSERT_TRUE(StoreDelayedParams(FullParams(), &image));
  const auto* bytes = reinterpret_cast<const unsigned char*>(&image);
  // UTF-16 little-endian text at the slot's offset.
  EXPECT_EQ(bytes[0x000], 'C');
  EXPECT_EQ(bytes[0x20A + 2 * 7], 'c');   // C:\tmp\clids.xml
  EXPECT_EQ(bytes[0xE46], '1');           // "17"
  EXPECT_EQ(bytes[0xE46 + 4], 0);         // its terminator
  EXPECT_EQ(bytes[0xE88 + 2 * 11], '2');  // last digit of the full time
  EXPECT_EQ(bytes[0xECA], 255);
  EXPECT_EQ(bytes[0xECB], 1);
  EXPECT_EQ(bytes[0xECC], 0);
  // The failure kind is not a parameter: storing leaves it alone.
  int32_t kind = 0;
  std::memcpy(&kind, bytes + 0xED0, sizeof(kind));
  EXPECT_EQ(kind, 6);
  ExpectSame(LoadDelayedParams(image), FullParams());
}

TEST(DelayedParamsLayoutTest, LengthLimits) {
  DelayedParamsImage image = {};
  DelayedParams longest = FullParams();
  longest.partner_package_override_path = std::wstring(260, L'o');
  longest.browser_arc_path = L"C:\\" + std::wstring(257, L'a');
  longest.histogram_full_time = std::wstring(32, L'9');
  ASSERT_TRUE(DelayedParamsFit(longest));
  ASSERT_TRUE(StoreDelayedParams(longest, &image));
  ExpectSame(LoadDelayedParams(image), longest);
  EXPECT_EQ(image.browser_arc_path[260], u'\0');

  DelayedParams too_long_path = FullParams();
  too_long_path.installer_data_path = std::wstring(261, L'x');
  DelayedParams too_long_time = FullParams();
  too_long_time.histogram_download_time = std::wstring(33, L'1');
  for (const DelayedParams& params : {too_long_path, too_long_time}) {
    DelayedParamsImage before = image;
    EXPECT_FALSE(DelayedParamsFit(params));
    EXPECT_FALSE(StoreDelayedParams(params, &image));
    EXPECT_EQ(std::memcmp(&before, &image, sizeof(image)), 0) << "a failed store changed the image";
  }
}

TEST(DelayedParamsLayoutTest, ShorterTextLeavesNoTailAndUnterminatedSlotsReadEmpty) {
  DelayedParamsImage image = {};
  DelayedParams params = FullParams();
  ASSERT_TRUE(StoreDelayedParams(params, &image));
  params.browser_arc_path = L"D:";
  ASSERT_TRUE(StoreDelayedParams(params, &image));
  for (size_t i = 2; i <= kDelayedPathMaxLength; ++i) ASSERT_EQ(image.browser_arc_path[i], u'\0') << i;

  // Not written by this code: no terminator anywhere in the slot.
  for (char16_t& unit : image.clids_file_path) unit = u'z';
  for (char16_t& unit : image.histogram_full_time) unit = u'9';
  DelayedParams loaded = LoadDelayedParams(image);
  EXPECT_EQ(loaded.clids_file_path, L"");
  EXPECT_EQ(loaded.histogram_full_time, L"");
  EXPECT_EQ(loaded.browser_arc_path, L"D:");
}

}  // namespace
}  // namespace ostrel
