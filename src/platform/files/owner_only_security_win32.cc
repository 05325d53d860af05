#include "platform/files/owner_only_security_win32.h"

#include "platform/os/unique_handle_win32.h"

#include <aclapi.h>

namespace qv::platform::win32 {

namespace {

// The SID of the process's user (the token's user).
std::vector<uint8_t> ProcessUserSid() {
  win32::UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive())) return {};
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<uint8_t> buffer(size);
  std::vector<uint8_t> sid;
  if (size != 0 && ::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    const DWORD length = ::GetLengthSid(user->User.Sid);
    sid.assign(static_cast<const uint8_t*>(user->User.Sid),
               static_cast<const uint8_t*>(user->User.Sid) + length);
  }
  return sid;
}

}  // namespace

OwnerOnlySecurity::OwnerOnlySecurity() : user_sid_(ProcessUserSid()), descriptor_{}, attributes_{} {
  if (user_sid_.empty()) return;
  const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + static_cast<DWORD>(user_sid_.size());
  acl_.resize(acl_size);
  auto* acl = reinterpret_cast<ACL*>(acl_.data());
  if (!::InitializeAcl(acl, acl_size, ACL_REVISION) ||
      !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user_sid_.data()) ||
      !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return;
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  valid_ = true;
}

bool HasOwnerOnlyAccess(const std::wstring& path, bool* owner_only) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                               nullptr, &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(result);
    return false;
  }
  const std::vector<uint8_t> user = ProcessUserSid();
  bool only = dacl != nullptr;  // no DACL at all lets everybody in
  for (DWORD index = 0; only && index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(dacl, index, &entry)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
    const bool is_owner = owner != nullptr && ::EqualSid(sid, owner);
    const bool is_user = !user.empty() && ::EqualSid(sid, const_cast<uint8_t*>(user.data()));
    if (!is_owner && !is_user) only = false;
  }
  ::LocalFree(descriptor);
  *owner_only = only;
  return true;
}

}  // namespace qv::platform::win32
