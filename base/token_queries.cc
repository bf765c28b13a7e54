#include "base/token_queries.h"

#include "base/logging.h"

namespace ostrel {

namespace {

constexpr DWORD kSidBufferSize = 68;

}  // namespace

ScopedKernelHandle GetProcessToken(HANDLE process) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) {
    PLOG(ERROR) << "OpenProcessToken fail";
    return ScopedKernelHandle();
  }
  return ScopedKernelHandle(token);
}

bool GetTokenInfo(HANDLE token, TOKEN_INFORMATION_CLASS information_class, std::vector<uint8_t>* buffer) {
  DWORD size = 0;
  ::GetTokenInformation(token, information_class, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<uint8_t> data(size, 0);
  if (!::GetTokenInformation(token, information_class, data.data(), size, &size)) {
    PLOG(ERROR) << "GetTokenInformation failed";
    return false;
  }
  *buffer = std::move(data);
  return true;
}

bool IsUserAnAdminGroup(HANDLE process) {
  ScopedKernelHandle token = GetProcessToken(process);
  if (!token.IsValid()) return false;
  // DWORD-aligned: a SID starts with byte fields but holds DWORD sub-authorities.
  DWORD sid[kSidBufferSize / sizeof(DWORD)] = {};
  DWORD sid_size = kSidBufferSize;
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sid_size)) {
    PLOG(ERROR) << "CreateWellKnownSid failed";
    return false;
  }
  std::vector<uint8_t> buffer;
  if (!GetTokenInfo(token.Get(), TokenGroups, &buffer)) return false;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (::EqualSid(groups->Groups[i].Sid, sid)) return true;
  }
  return false;
}

bool IsProcessTokenElevated(HANDLE process) {
  ScopedKernelHandle token = GetProcessToken(process);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return token.IsValid() &&
         ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

}  // namespace ostrel
