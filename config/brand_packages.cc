// Loading the brand information from the packages the executable carries.
#include <string>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/resource_source.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/cabinet_extractor.h"
#include "config/config_constants.h"
#include "config/languages.h"
#include "resources/resource_ids.h"

namespace ostrel {
namespace {

constexpr int32_t kGeoIdNotAvailable = -1;

// Region (ISO 3166 two letters) and UI language to brand; the first match
// wins, an empty cell matches anything.
constexpr struct {
  const char* region;
  const char* locale;
  const char* brand_name;
} kBrandTable[] = {
    {"RU", "uk", "ua_uk"}, {"RU", "", "tarvik"}, {"UA", "ru", "ua_ru"}, {"UA", "", "ua_uk"},
    {"TR", "", "tb"},      {"", "ru", "tarvik"}, {"", "uk", "ua_uk"},   {"", "tr", "tb"},
};

bool CellMatches(const char* cell, const std::string& value) { return !*cell || value == cell; }

std::string ToUpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string_view LoadBrandPackage(const ResourceSource& resources, const std::string& upper_name) {
  return resources.Load(kBinaryResourceType, config::kBrandPackagePrefix + Utf8ToWide(upper_name));
}

}  // namespace

std::string AutodetectBrandName() {
  OsFacts& facts = GetOsFacts();
  std::string region;
  int32_t geo = facts.GetUserGeoId();
  if (geo != kGeoIdNotAvailable) {
    std::wstring iso2;
    if (facts.GetGeoIso2(geo, &iso2) == 3) region = WideToLowBytes(iso2.substr(0, 2));
  }
  LOG(INFO) << "User region: " << region;
  std::string locale = UserUiLanguageCode();
  LOG(INFO) << "User locale: " << locale;
  for (const auto& row : kBrandTable) {
    if (CellMatches(row.region, region) && CellMatches(row.locale, locale)) {
      LOG(INFO) << "Detected brand-name: " << row.brand_name;
      return row.brand_name;
    }
  }
  LOG(INFO) << "Didn't found brand-name. Use default: " << config::kDefaultBrandName;
  return config::kDefaultBrandName;
}

void BrandInfo::GetInfo(const std::string& brand_name) { GetInfo(brand_name, OwnModuleResources()); }

void BrandInfo::GetInfo(const std::string& brand_name, const ResourceSource& resources) {
  Clear();
  RemoveFromRegistry();
  Clear();
  brand_package_path_ = work_dir_ + config::kBrandPackageFileName;
  LOG(INFO) << "Brand package path: " << brand_package_path_;
  partner_package_path_ = work_dir_ + config::kPartnerPackageFileName;
  LOG(INFO) << "Partner package path: " << partner_package_path_;
  GetInfoFromResources(brand_name, resources);
}

void BrandInfo::WritePackage(const std::wstring& path, std::string_view bytes) {
  if (WriteDataFile(path, bytes)) return;
  PLOG(ERROR) << "Cannot write " << path;
  package_files_written_ = false;
}

void BrandInfo::GetInfoFromResources(const std::string& brand_name, const ResourceSource& resources) {
  package_files_written_ = true;
  std::string_view partner = resources.Load(kBinaryResourceType, ResourceIdName(IDR_PARTNER_PACKAGE));
  if (!partner.empty()) {
    LOG(INFO) << "Extract Partner package: " << partner_package_path_ << " [" << partner.size() << "B]";
    WritePackage(partner_package_path_, partner);
    partner_package_present_ = true;
    ApplyConfigFromPackage(partner, config::kPartnerConfigName);
  } else {
    LOG(WARNING) << "Partner package is empty.";
  }

  std::string_view brand;
  if (brand_name == config::kAutoBrandName) {
    std::string name = ToUpperAscii(AutodetectBrandName());
    LOG(INFO) << "Fetching autodetected " << name << " package";
    brand = LoadBrandPackage(resources, name);
  } else if (!brand_name.empty()) {
    LOG(INFO) << "Fetching defined " << brand_name << " package";
    brand = LoadBrandPackage(resources, ToUpperAscii(brand_name));
  }
  if (brand.empty()) {
    LOG(INFO) << "Fetching default package";
    brand = resources.Load(kBinaryResourceType, ResourceIdName(IDR_DEFAULT_BRAND_PACKAGE));
  }
  if (brand.empty()) {
    LOG(WARNING) << "Brand package is empty.";
    return;
  }
  LOG(INFO) << "Extract Brand package: " << brand_package_path_ << " [" << brand.size() << "B]";
  WritePackage(brand_package_path_, brand);
  brand_package_present_ = true;
  ApplyConfigFromPackage(brand, config::kBrandConfigName);
}

void BrandInfo::ApplyConfigFromPackage(std::string_view package, const std::string& file_name) {
  CabinetFiles files;
  ExtractFilesFromCabinet(package.data(), package.size(), &files, file_name);
  auto found = files.find(file_name);
  if (found == files.end()) return;
  ApplyBrandInfo(found->second);
  LogBrandInfo();
}

void BrandInfo::SaveToRegistry() const {
  StoreProductValue(config::kRegistryBrand, Utf8ToWide(brand_name_));
  StoreProductValue(config::kRegistryBrandFile, brand_package_path_);
  if (partner_package_present_) StoreProductValue(config::kRegistryPartnerFile, partner_package_path_);
}

void BrandInfo::SaveLanguageToRegistry() const {
  StoreProductValue(config::kRegistryLanguage, Utf8ToWide(interface_language_));
}

void BrandInfo::RemoveFromRegistry() const {
  RemoveProductValue(config::kRegistryBrand);
  RemoveProductValue(config::kRegistryBrandFile);
  RemoveProductValue(config::kRegistryPartnerFile);
}

}  // namespace ostrel
