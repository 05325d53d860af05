// The password of a request, hidden wherever a log or trace text shows it: the value of every P (or
// p) parameter, whatever its escapes, becomes eight asterisks. A parameter is "P=" or "p=" after "?",
// "&" or ";" (the last for links written as XML text, "&amp;P="); its value ends where the request
// parsing ends it: at "&", a blank, a tab or a line end.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Masks a text that arrives in pieces (the reads of one connection): each piece comes back masked as
// it would be within the whole text, so the part of a password that a piece holds is hidden even
// when its "P=" came in an earlier piece.
class PasswordMask {
 public:
  std::string Next(std::string_view piece);

 private:
  enum class State { kOther, kAfterBoundary, kAfterName, kInValue };
  State state_ = State::kOther;
};

// The whole text masked.
std::string MaskPasswords(std::string_view text);

}  // namespace qv
