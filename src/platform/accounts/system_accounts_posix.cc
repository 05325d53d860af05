#include "platform/accounts/system_accounts_posix.h"

#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/errors/errno_map_posix.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::platform::posix {

namespace {

constexpr uint64_t kUnixUserAuthority = 22;  // S-1-22: the Unix accounts of a machine
constexpr uint32_t kUnixUserKind = 1;        // S-1-22-1: users (2 would be groups)
constexpr size_t kLargestPasswdBuffer = size_t{1} << 20;

// Calls getpwnam_r or getpwuid_r with a buffer that grows until the entry fits.
template <typename Lookup>
bool FindEntry(Lookup lookup, SystemAccount* account) {
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
  for (;;) {
    struct passwd entry;
    struct passwd* found = nullptr;
    const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < kLargestPasswdBuffer) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (found != nullptr) {
      account->Name = entry.pw_name;
      account->Uid = entry.pw_uid;
      return true;
    }
    // No entry, or one of the errors that only say so.
    if (error == 0 || error == ENOENT || error == ESRCH || error == EBADF || error == EPERM) {
      SetLastError(ERROR_NONE_MAPPED);
    } else {
      SetLastErrorFromErrno(error);
    }
    return false;
  }
}

// The conversation of a network logon: every prompt is answered with the password (the user's name
// was given to pam_start), messages are ignored.
extern "C" int AnswerWithPassword(int count, const struct pam_message** messages,
                                  struct pam_response** responses, void* password) {
  if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
  auto* answers =
      static_cast<struct pam_response*>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
  if (answers == nullptr) return PAM_BUF_ERR;
  int result = PAM_SUCCESS;
  for (int i = 0; i < count && result == PAM_SUCCESS; ++i) {
    switch (messages[i]->msg_style) {
      case PAM_PROMPT_ECHO_OFF:
      case PAM_PROMPT_ECHO_ON:
        answers[i].resp = strdup(static_cast<const char*>(password));
        if (answers[i].resp == nullptr) result = PAM_BUF_ERR;
        break;
      case PAM_ERROR_MSG:
      case PAM_TEXT_INFO:
        break;
      default:
        result = PAM_CONV_ERR;  // a message style nobody knows
    }
  }
  if (result != PAM_SUCCESS) {
    for (int i = 0; i < count; ++i) {
      if (answers[i].resp == nullptr) continue;
      explicit_bzero(answers[i].resp, std::strlen(answers[i].resp));
      std::free(answers[i].resp);
    }
    std::free(answers);
    return result;
  }
  *responses = answers;
  return PAM_SUCCESS;
}

// Ends the PAM transaction with the status of its last call.
class PamTransaction {
 public:
  PamTransaction() = default;
  PamTransaction(const PamTransaction&) = delete;
  PamTransaction& operator=(const PamTransaction&) = delete;
  ~PamTransaction() {
    if (handle != nullptr) pam_end(handle, status);
  }
  pam_handle_t* handle = nullptr;
  int status = PAM_SUCCESS;
};

uint32_t AuthenticationRefusal(int status) {
  switch (status) {
    case PAM_AUTH_ERR:
    case PAM_USER_UNKNOWN:
    case PAM_MAXTRIES:
    case PAM_CRED_INSUFFICIENT:
      return ERROR_LOGON_FAILURE;
    default:
      return ERROR_NO_LOGON_SERVERS;
  }
}

uint32_t AccountRefusal(int status) {
  switch (status) {
    case PAM_ACCT_EXPIRED:
      return ERROR_ACCOUNT_EXPIRED;
    case PAM_NEW_AUTHTOK_REQD:
      return ERROR_PASSWORD_MUST_CHANGE;
    case PAM_PERM_DENIED:
    case PAM_AUTH_ERR:
      return ERROR_ACCOUNT_RESTRICTION;
    case PAM_USER_UNKNOWN:
      return ERROR_LOGON_FAILURE;
    default:
      return ERROR_NO_LOGON_SERVERS;
  }
}

}  // namespace

bool FindSystemAccount(const std::string& name, SystemAccount* account) {
  if (name.empty() || name.find('\0') != std::string::npos) {
    SetLastError(ERROR_NONE_MAPPED);
    return false;
  }
  return FindEntry(
      [&](struct passwd* entry, char* buffer, size_t size, struct passwd** found) {
        return getpwnam_r(name.c_str(), entry, buffer, size, found);
      },
      account);
}

bool FindSystemAccount(uint32_t uid, SystemAccount* account) {
  return FindEntry(
      [&](struct passwd* entry, char* buffer, size_t size, struct passwd** found) {
        return getpwuid_r(static_cast<uid_t>(uid), entry, buffer, size, found);
      },
      account);
}

Sid SystemAccountSid(uint32_t uid) {
  return MakeSid(kUnixUserAuthority, {kUnixUserKind, uid});
}

std::optional<uint32_t> UidOfSystemAccountSid(const Sid& sid) {
  uint64_t authority = 0;
  std::vector<uint32_t> parts;
  if (!GetSidParts(sid, &authority, &parts) || authority != kUnixUserAuthority || parts.size() != 2 ||
      parts[0] != kUnixUserKind)
    return std::nullopt;
  return parts[1];
}

uint32_t CheckSystemPassword(const std::string& name, const std::string& password) {
  if (password.empty() || password.find('\0') != std::string::npos || name.find('\0') != std::string::npos)
    return ERROR_LOGON_FAILURE;
  const struct pam_conv conversation = {AnswerWithPassword, const_cast<char*>(password.c_str())};
  PamTransaction pam;
  pam.status = pam_start(kPamServiceName, name.c_str(), &conversation, &pam.handle);
  if (pam.status != PAM_SUCCESS) return ERROR_NO_LOGON_SERVERS;
  // A network logon never accepts an empty password, whatever the modules would allow.
  pam.status = pam_authenticate(pam.handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (pam.status != PAM_SUCCESS) return AuthenticationRefusal(pam.status);
  pam.status = pam_acct_mgmt(pam.handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (pam.status != PAM_SUCCESS) return AccountRefusal(pam.status);
  return ERROR_SUCCESS;
}

}  // namespace qv::platform::posix
