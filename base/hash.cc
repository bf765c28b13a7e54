#include "base/hash.h"

#include <windows.h>
#include <bcrypt.h>

namespace ostrel {
namespace {

bool ComputeDigest(LPCWSTR algorithm, std::string_view data, uint8_t* out, ULONG out_size) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (::BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0) != 0) return false;
  bool ok = false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (::BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
    ok = ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                          static_cast<ULONG>(data.size()), 0) == 0 &&
         ::BCryptFinishHash(hash, out, out_size, 0) == 0;
    ::BCryptDestroyHash(hash);
  }
  ::BCryptCloseAlgorithmProvider(provider, 0);
  return ok;
}

}  // namespace

bool ComputeMd5(std::string_view data, std::array<uint8_t, 16>* digest) {
  return ComputeDigest(BCRYPT_MD5_ALGORITHM, data, digest->data(), 16);
}

bool ComputeSha256(std::string_view data, std::array<uint8_t, 32>* digest) {
  return ComputeDigest(BCRYPT_SHA256_ALGORITHM, data, digest->data(), 32);
}

std::string HexEncodeLower(const uint8_t* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

std::string Md5HexDigest(std::string_view data) {
  std::array<uint8_t, 16> digest;
  if (!ComputeMd5(data, &digest)) return std::string();
  return HexEncodeLower(digest.data(), digest.size());
}

bool FillRandomBytes(uint8_t* bytes, size_t size) {
  return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace ostrel
