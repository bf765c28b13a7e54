// Digests and random bytes from the system's CNG provider (no libcrypto on the target).
#ifndef BASE_HASH_H_
#define BASE_HASH_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

bool ComputeMd5(std::string_view data, std::array<uint8_t, 16>* digest);
bool ComputeSha256(std::string_view data, std::array<uint8_t, 32>* digest);

// Lower-case hexadecimal of `bytes`.
std::string HexEncodeLower(const uint8_t* bytes, size_t size);

// Lower-case hexadecimal MD5 of `data`; empty when CNG fails.
std::string Md5HexDigest(std::string_view data);

// `size` bytes from the system's random number generator; false when it fails.
bool FillRandomBytes(uint8_t* bytes, size_t size);

}  // namespace ostrel

#endif  // BASE_HASH_H_
