// Names the distribution configuration shares with setup and the browser:
// registry hand-over values, files in the working directory, resources.
#ifndef CONFIG_CONFIG_CONSTANTS_H_
#define CONFIG_CONFIG_CONSTANTS_H_

namespace ostrel::config {

// String values under HKEY_CURRENT_USER\Software\Tarvik\TarvikBrowser.
inline constexpr wchar_t kRegistryBrand[] = L"brand";
inline constexpr wchar_t kRegistryBrandFile[] = L"BrandFile";
inline constexpr wchar_t kRegistryPartnerFile[] = L"PartnerFile";
inline constexpr wchar_t kRegistryLanguage[] = L"lang";
inline constexpr wchar_t kRegistryDistribInfoParams[] = L"DistribInfoParams";
inline constexpr wchar_t kRegistryInstallerData[] = L"InstallerData";
inline constexpr wchar_t kRegistryClidsFile[] = L"ClidsFile";
inline constexpr wchar_t kRegistryWebsiteIconFile[] = L"TarvikWebsiteIconFile";
inline constexpr wchar_t kRegistryAbtConfigResourceFile[] = L"AbtConfigResourceFile";

// Files written to the working directory (the user's temporary directory).
inline constexpr wchar_t kBrandPackageFileName[] = L"BrandFile";
inline constexpr wchar_t kPartnerPackageFileName[] = L"PartnerFile";
inline constexpr wchar_t kDistribInfoFileName[] = L"distrib_info";
inline constexpr wchar_t kInstallerDataFileName[] = L"master_preferences";
inline constexpr wchar_t kClidsFileName[] = L"clids.xml";
inline constexpr wchar_t kWebsiteIconFileName[] = L"website.ico";
inline constexpr wchar_t kAbtConfigResourceFileName[] = L"abt_config_resource";

// Names of the documents inside the packages.
inline constexpr char kBrandConfigName[] = "brand_config";
inline constexpr char kPartnerConfigName[] = "partner_config";

// Named resources (type "BIN"); the numbered ones are in resources/resource_ids.h.
inline constexpr wchar_t kBrandPackagePrefix[] = L"BRAND_";
inline constexpr wchar_t kAbtConfigResourceName[] = L"ABT_CONFIG";

// The "brand-name" value that asks for autodetection, and the default brand.
inline constexpr char kAutoBrandName[] = "auto";
inline constexpr char kDefaultBrandName[] = "tarvik";

}  // namespace ostrel::config

#endif  // CONFIG_CONFIG_CONSTANTS_H_
