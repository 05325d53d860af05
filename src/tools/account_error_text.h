// The tools' words for a failed account operation: what is wrong, naming the account, rather than the
// system's sentence for the error code ("No mapping between account names and security IDs was
// done"), which names nothing.
#pragma once

#include <cstdint>
#include <string>

namespace qv::tools {

// "there is no account named "bob"", "an account named "alice" exists already", ""bad/name" is no
// account name (...)"; the system's words for any other code.
std::string AccountErrorText(uint32_t code, const std::string& account);

// Why a password cannot be given to an account of this machine ("the password is empty" ...); empty
// when it can.
std::string PasswordRefusal(const std::string& password);

}  // namespace qv::tools
