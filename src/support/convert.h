// Text-to-number conversions with the platform's rules: leading blanks are allowed, nothing may
// follow the number, and a failed strict conversion raises EConvertError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// A 32-bit signed decimal integer, or nothing.
std::optional<int32_t> TryStrToInt(const std::string& text);
// The same, raising EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& text);
int32_t StrToIntDef(const std::string& text, int32_t fallback);

// A decimal number written with the given decimal separator (digits, an optional sign, at most one
// separator, an optional exponent), or nothing. Leading and trailing blanks are allowed.
std::optional<double> TryStrToFloat(const std::string& text, char decimal_separator);
// The same, raising EConvertError "'%s' is not a valid floating point value".
double StrToFloat(const std::string& text, char decimal_separator);

// A number written the shortest way that reads back the same, with the given decimal separator
// (1.2 gives "1.2", 5.5 gives "5.5", 20 gives "20").
std::string FloatToStr(double value, char decimal_separator);

}  // namespace qv
