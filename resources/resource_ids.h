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

// Dialog templates: the installation window and the small dialogs.
#define IDD_INSTALLATION_WINDOW 901
#define IDD_MESSAGE_DIALOG 100

// Controls of the installation window (IDOK = 1 is the Install button).
#define IDC_INSTALL_BUTTON 1
#define IDC_TITLE 107
#define IDC_DEFAULT_BROWSER_CHECK_BOX 109
#define IDC_STATISTICS_CHECK_BOX 110
#define IDC_PIN_CHECK_BOX 112
#define IDC_STOP_BUTTON 212
#define IDC_CLOSE_BUTTON 213
#define IDC_MINIMIZE_BUTTON 214
#define IDC_PROGRESS_BAR 215
#define IDC_PRIVACY_LINK 218
#define IDC_LICENSE_TEXT 222
#define IDC_LICENSE_LINK 223
#define IDC_STATUS_TEXT 224
// Controls of the small dialogs: 107 title, 1 primary, 213 close, 212 secondary.
#define IDC_DIALOG_TEXT -1
#include "resources/image_ids.h"

#endif  // RESOURCES_RESOURCE_IDS_H_
