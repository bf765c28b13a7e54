#include "trust/trusted_certificate_list.h"

#include <optional>

#include "base/base64.h"
#include "base/json_reader.h"
#include "base/logging.h"
#include "base/values.h"

namespace ostrel {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DecodePublicKeyDigest(std::string_view hex) {
  if (hex.size() != 64) return std::string();
  std::string digest(32, '\0');
  for (size_t i = 0; i < 32; ++i) {
    int high = HexValue(hex[2 * i]);
    int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::string();
    digest[i] = static_cast<char>((high << 4) | low);
  }
  return digest;
}

bool GetTrustedFiles(std::string_view json, TrustedCertificateList* list) {
  list->clear();
  std::string error_message;
  std::optional<Value> root = Deserialize(json, kInstallerJsonOptions, nullptr, &error_message);
  if (!root) {
    LOG(WARNING) << "Failed to read json : " << error_message;
    return false;
  }
  const Value* trusted_info = root->is_dict() ? root->FindKey("trusted_info") : nullptr;
  const Value::List* certificates =
      trusted_info && trusted_info->is_dict() ? trusted_info->FindListKey("certificates") : nullptr;
  if (!certificates) {
    LOG(WARNING) << "Incorrect format of json";
    return false;
  }
  for (const Value& certificate : *certificates) {
    if (!certificate.is_dict()) continue;
    const std::string* id_text = certificate.FindStringKey("id");
    std::string id;
    if (!id_text || !Base64Decode(*id_text, &id)) continue;
    const std::string* key_text = certificate.FindStringKey("pub_key");
    TrustedCertificate entry{id, key_text ? DecodePublicKeyDigest(*key_text) : std::string()};
    list->emplace(id, std::move(entry));
  }
  return true;
}

}  // namespace ostrel
