#include "logging/password_mask.h"

namespace qv {

namespace {

constexpr char kPasswordMask[] = "********";  // always eight, whatever the password's length

bool IsBoundary(char c) {
  return c == '?' || c == '&' || c == ';';
}

bool EndsValue(char c) {
  return c == '&' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string PasswordMask::Next(std::string_view piece) {
  std::string masked;
  masked.reserve(piece.size());
  for (const char c : piece) {
    if (state_ == State::kInValue) {
      if (!EndsValue(c)) continue;
      state_ = State::kOther;
    }
    masked += c;
    switch (state_) {
      case State::kAfterBoundary:
        state_ = c == 'P' || c == 'p' ? State::kAfterName : State::kOther;
        break;
      case State::kAfterName:
        if (c == '=') {
          // The mask stands for the value, also an empty one, so that its length tells nothing.
          masked += kPasswordMask;
          state_ = State::kInValue;
        } else {
          state_ = State::kOther;
        }
        break;
      default:
        break;
    }
    if (state_ == State::kOther && IsBoundary(c)) state_ = State::kAfterBoundary;
  }
  return masked;
}

std::string MaskPasswords(std::string_view text) {
  return PasswordMask().Next(text);
}

}  // namespace qv
