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

#include "resources/image_ids.h"

#endif  // RESOURCES_RESOURCE_IDS_H_
