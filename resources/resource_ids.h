// Resource identifiers shared by the .rc files and the code.
#ifndef RESOURCES_RESOURCE_IDS_H_
#define RESOURCES_RESOURCE_IDS_H_

#define IDR_VERSION_INFO 1

// Distribution configuration (type "BIN"). Brand packages of named brands are
// named "BRAND_" + upper-case brand name; the A/B-test configuration is named
// "ABT_CONFIG". 320 (partner package) and 323 (website icon) are not carried.
#define IDR_INSTALLER_DATA 305
#define IDR_CLIDS 306
#define IDR_DEFAULT_BRAND_PACKAGE 319
#define IDR_PARTNER_PACKAGE 320
#define IDR_WEBSITE_ICON 323

// The window's fonts (RT_FONT); the theme loads them in this order and the
// window asks for them by face name: "KX Geo Regular", "KX Geo Medium",
// "KX Text".
#define IDR_FONT_GEO_REGULAR 2087
#define IDR_FONT_GEO_MEDIUM 2088
#define IDR_FONT_TEXT 2090

#endif  // RESOURCES_RESOURCE_IDS_H_
