// Image resources (RT_RCDATA unless noted), named once for the .rc files and
// the code. A pair is {1x, 2x}: the 2x image has twice the pixels of the 1x
// one. Sizes are 1x pixels; strips hold their frames side by side.
#ifndef RESOURCES_IMAGE_IDS_H_
#define RESOURCES_IMAGE_IDS_H_

// Icon group (RT_GROUP_ICON): 16, 24, 32, 48 and 256 pixels.
#define IDI_INSTALLER 900

// Classic dialogs: background 410 x 186 whose shadow margin is 7 left,
// 4 top, 6 right and 8 bottom; button strips of 3 frames of 120 x 28.
#define IDR_CLASSIC_DIALOG_BACKGROUND 104
#define IDR_CLASSIC_DIALOG_PRIMARY_BUTTON 105
#define IDR_CLASSIC_DIALOG_SECONDARY_BUTTON 106

// Light theme. Strips: check box 6 frames of 16 x 16 (normal, hot, pressed,
// then the same checked); the other buttons 3 frames (normal, hot, pressed).
#define IDR_CHECK_BOX_1X 2019
#define IDR_CHECK_BOX_2X 2020
#define IDR_INSTALL_BUTTON_1X 2270  // 3 frames of 140 x 48
#define IDR_CLOSE_BUTTON_1X 2030    // 3 frames of 20 x 20
#define IDR_CLOSE_BUTTON_2X 2031
#define IDR_MINIMIZE_BUTTON_1X 2034  // 3 frames of 20 x 20
#define IDR_MINIMIZE_BUTTON_2X 2035
#define IDR_FIRST_SCREEN_MINIMIZE_1X 2036  // 20 x 20
#define IDR_FIRST_SCREEN_MINIMIZE_2X 2037
#define IDR_PROGRESS_FILL_1X 2038  // 393 x 4
#define IDR_PROGRESS_FILL_2X 2039
#define IDR_PROGRESS_TRACK_1X 2040  // 393 x 4
#define IDR_PROGRESS_TRACK_2X 2041
#define IDR_LOGO_1X 2271  // 212 x 38
#define IDR_LOGO_2X 2272
#define IDR_LOGO_RUSSIAN_1X 2273
#define IDR_LOGO_RUSSIAN_2X 2274

// Light backgrounds and first slides, 802 x 430: PNG from Windows 8 on,
// JPEG before.
#define IDR_BACKGROUND_1X 2068
#define IDR_BACKGROUND_2X 2069
#define IDR_BACKGROUND_JPEG_1X 2021
#define IDR_BACKGROUND_JPEG_2X 2022
#define IDR_FIRST_SLIDE_1X 2072
#define IDR_FIRST_SLIDE_2X 2073
#define IDR_FIRST_SLIDE_RUSSIAN_1X 2074
#define IDR_FIRST_SLIDE_RUSSIAN_2X 2075
#define IDR_FIRST_SLIDE_JPEG_1X 2025
#define IDR_FIRST_SLIDE_JPEG_2X 2026
#define IDR_FIRST_SLIDE_RUSSIAN_JPEG_1X 2027
#define IDR_FIRST_SLIDE_RUSSIAN_JPEG_2X 2028

// Light main-window shadow: corners 17 x 17, left and right edges 9 x 412,
// top and bottom edges 784 x 9. The corners follow the rounded window of
// Windows 8 and later; the "square" corners are for older systems.
#define IDR_SHADOW_TOP_LEFT_1X 2275
#define IDR_SHADOW_TOP_RIGHT_1X 2276
#define IDR_SHADOW_BOTTOM_RIGHT_1X 2277
#define IDR_SHADOW_BOTTOM_LEFT_1X 2278
#define IDR_SHADOW_LEFT_1X 2279
#define IDR_SHADOW_TOP_1X 2280
#define IDR_SHADOW_RIGHT_1X 2281
#define IDR_SHADOW_BOTTOM_1X 2282
#define IDR_SHADOW_TOP_LEFT_2X 2283
#define IDR_SHADOW_TOP_RIGHT_2X 2284
#define IDR_SHADOW_BOTTOM_RIGHT_2X 2285
#define IDR_SHADOW_BOTTOM_LEFT_2X 2286
#define IDR_SHADOW_LEFT_2X 2287
#define IDR_SHADOW_TOP_2X 2288
#define IDR_SHADOW_RIGHT_2X 2289
#define IDR_SHADOW_BOTTOM_2X 2290
#define IDR_SHADOW_SQUARE_TOP_LEFT_1X 2291
#define IDR_SHADOW_SQUARE_TOP_RIGHT_1X 2292
#define IDR_SHADOW_SQUARE_BOTTOM_RIGHT_1X 2293
#define IDR_SHADOW_SQUARE_BOTTOM_LEFT_1X 2294
#define IDR_SHADOW_SQUARE_TOP_LEFT_2X 2295
#define IDR_SHADOW_SQUARE_TOP_RIGHT_2X 2296
#define IDR_SHADOW_SQUARE_BOTTOM_RIGHT_2X 2297
#define IDR_SHADOW_SQUARE_BOTTOM_LEFT_2X 2298

// Dark theme: 2x images only, same sizes and frames as the light ones.
#define IDR_DARK_BACKGROUND_JPEG_2X 2300
#define IDR_DARK_BACKGROUND_2X 2301
#define IDR_DARK_FIRST_SLIDE_JPEG_2X 2302
#define IDR_DARK_FIRST_SLIDE_RUSSIAN_JPEG_2X 2303
#define IDR_DARK_FIRST_SLIDE_2X 2304
#define IDR_DARK_FIRST_SLIDE_RUSSIAN_2X 2305
#define IDR_DARK_INSTALL_BUTTON_2X 2306
#define IDR_DARK_CLOSE_BUTTON_2X 2307
#define IDR_DARK_MINIMIZE_BUTTON_2X 2309
#define IDR_DARK_FIRST_SCREEN_MINIMIZE_2X 2310
#define IDR_DARK_CHECK_BOX_2X 2311
#define IDR_DARK_PROGRESS_FILL_2X 2312
#define IDR_DARK_PROGRESS_TRACK_2X 2313
#define IDR_DARK_LOGO_2X 2314
#define IDR_DARK_LOGO_RUSSIAN_2X 2315
#define IDR_DARK_SHADOW_TOP_LEFT_2X 2316
#define IDR_DARK_SHADOW_TOP_RIGHT_2X 2317
#define IDR_DARK_SHADOW_BOTTOM_RIGHT_2X 2318
#define IDR_DARK_SHADOW_BOTTOM_LEFT_2X 2319
#define IDR_DARK_SHADOW_LEFT_2X 2320
#define IDR_DARK_SHADOW_TOP_2X 2321
#define IDR_DARK_SHADOW_RIGHT_2X 2322
#define IDR_DARK_SHADOW_BOTTOM_2X 2323
#define IDR_DARK_SHADOW_SQUARE_TOP_LEFT_2X 2324
#define IDR_DARK_SHADOW_SQUARE_TOP_RIGHT_2X 2325
#define IDR_DARK_SHADOW_SQUARE_BOTTOM_RIGHT_2X 2326
#define IDR_DARK_SHADOW_SQUARE_BOTTOM_LEFT_2X 2327

// Redesigned dialogs: the background is stretched to the client area; the
// button strips (3 frames side by side, 300 x 35 in all at 1x) are drawn
// with stretched middles and 16-pixel caps; the close button strip has
// 3 frames of 20 x 20.
#define IDR_DIALOG_BACKGROUND 2233
#define IDR_DIALOG_MAIN_BUTTON_1X 2234
#define IDR_DIALOG_MAIN_BUTTON_2X 2235
#define IDR_DIALOG_PLAIN_BUTTON_1X 2236
#define IDR_DIALOG_PLAIN_BUTTON_2X 2237
#define IDR_DIALOG_CLOSE_BUTTON_1X 2238
#define IDR_DIALOG_CLOSE_BUTTON_2X 2239

// Redesigned dialog shadow, 8 pixels wide around the dialog: corners 24 x 24
// (the shadow and the dialog's 16-pixel corner radius), left and right edges
// 8 x 24, top and bottom edges 24 x 8, stretched along the dialog's sides.
// The "square" set is for systems before Windows 8, whose dialogs have no
// rounded region.
#define IDR_DIALOG_SHADOW_TOP_LEFT 2240
#define IDR_DIALOG_SHADOW_TOP_RIGHT 2241
#define IDR_DIALOG_SHADOW_BOTTOM_RIGHT 2242
#define IDR_DIALOG_SHADOW_BOTTOM_LEFT 2243
#define IDR_DIALOG_SHADOW_TOP 2244
#define IDR_DIALOG_SHADOW_RIGHT 2245
#define IDR_DIALOG_SHADOW_BOTTOM 2246
#define IDR_DIALOG_SHADOW_LEFT 2247
#define IDR_DIALOG_SHADOW_SQUARE_TOP_LEFT 2248
#define IDR_DIALOG_SHADOW_SQUARE_TOP_RIGHT 2249
#define IDR_DIALOG_SHADOW_SQUARE_BOTTOM_RIGHT 2250
#define IDR_DIALOG_SHADOW_SQUARE_BOTTOM_LEFT 2251
#define IDR_DIALOG_SHADOW_SQUARE_TOP 2252
#define IDR_DIALOG_SHADOW_SQUARE_RIGHT 2253
#define IDR_DIALOG_SHADOW_SQUARE_BOTTOM 2254
#define IDR_DIALOG_SHADOW_SQUARE_LEFT 2255

#endif  // RESOURCES_IMAGE_IDS_H_
