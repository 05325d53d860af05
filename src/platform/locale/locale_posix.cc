// The locale pieces from the POSIX locale that the environment names (LC_ALL, then LC_TIME or
// LC_NUMERIC, then LANG), read with newlocale and nl_langinfo_l so that the process's own locale stays
// as it is. Texts come in the locale's code set and are turned into Windows-1252, the code page of
// every text of the system.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>

#include "platform/locale/locale.h"
#include "platform/locale/strftime_pattern.h"
#include "platform/process/environment.h"

namespace qv::platform {

namespace {

// The locale name the environment gives a category, as setlocale(category, "") would choose it.
std::string EnvironmentLocaleName(const char* category_variable) {
  for (const char* variable : {"LC_ALL", category_variable, "LANG"}) {
    const auto value = GetEnvironmentVariable(variable);
    if (value && !value->empty()) return *value;
  }
  return "C";
}

bool IsCLocale(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// A locale object for some categories of a named locale, freed when it goes.
class PosixLocale {
 public:
  PosixLocale(int category_mask, const std::string& name)
      : handle_(newlocale(category_mask, name.c_str(), static_cast<locale_t>(0))) {}
  PosixLocale(const PosixLocale&) = delete;
  PosixLocale& operator=(const PosixLocale&) = delete;
  ~PosixLocale() {
    if (handle_ != static_cast<locale_t>(0)) freelocale(handle_);
  }
  bool IsOpen() const { return handle_ != static_cast<locale_t>(0); }
  const char* Item(nl_item item) const { return nl_langinfo_l(item, handle_); }

 private:
  locale_t handle_;
};

// Turns texts of one code set into Windows-1252; a character it cannot show becomes "?".
class ToWindows1252 {
 public:
  explicit ToWindows1252(const char* codeset)
      : utf8_(std::strcmp(codeset, "UTF-8") == 0), handle_(iconv_open("CP1252//TRANSLIT", codeset)) {}
  ToWindows1252(const ToWindows1252&) = delete;
  ToWindows1252& operator=(const ToWindows1252&) = delete;
  ~ToWindows1252() {
    if (handle_ != kNoHandle) iconv_close(handle_);
  }

  std::string operator()(const char* text) const {
    std::string input = text != nullptr ? text : "";
    bool ascii = true;
    for (const char c : input) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return input;
    if (handle_ == kNoHandle) {
      for (char& c : input)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
      return input;
    }
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    std::string output;
    char* in = input.data();
    size_t in_left = input.size();
    char buffer[256];
    while (in_left > 0) {
      char* out = buffer;
      size_t out_left = sizeof(buffer);
      const size_t result = iconv(handle_, &in, &in_left, &out, &out_left);
      output.append(buffer, sizeof(buffer) - out_left);
      if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // A character without a Windows-1252 form, or a broken one: skip it whole.
      output += '?';
      ++in;
      --in_left;
      while (utf8_ && in_left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
        ++in;
        --in_left;
      }
    }
    return output;
  }

 private:
  static inline const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);
  bool utf8_;
  iconv_t handle_;
};

bool ReadTimePieces(const std::string& name, LocaleInfo* info) {
  if (IsCLocale(name)) return true;
  const PosixLocale locale(LC_TIME_MASK | LC_CTYPE_MASK, name);
  if (!locale.IsOpen()) return false;
  const ToWindows1252 convert(locale.Item(CODESET));
  static const nl_item kShortDays[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  static const nl_item kLongDays[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  static const nl_item kShortMonths[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                           ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static const nl_item kLongMonths[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                          MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  for (int day = 0; day < 7; ++day) {
    info->short_day_names[day] = convert(locale.Item(kShortDays[day]));
    info->long_day_names[day] = convert(locale.Item(kLongDays[day]));
  }
  for (int month = 0; month < 12; ++month) {
    info->short_month_names[month] = convert(locale.Item(kShortMonths[month]));
    info->long_month_names[month] = convert(locale.Item(kLongMonths[month]));
  }
  info->time_am_string = convert(locale.Item(AM_STR));
  info->time_pm_string = convert(locale.Item(PM_STR));
  StrftimeFormats formats;
  formats.date = convert(locale.Item(D_FMT));
  formats.time = convert(locale.Item(T_FMT));
  formats.time_ampm = convert(locale.Item(T_FMT_AMPM));
  formats.date_time = convert(locale.Item(D_T_FMT));
  PatternsFromStrftime(formats, info);
  return true;
}

bool ReadNumericPieces(const std::string& name, LocaleInfo* info) {
  if (IsCLocale(name)) return true;
  const PosixLocale locale(LC_NUMERIC_MASK | LC_CTYPE_MASK, name);
  if (!locale.IsOpen()) return false;
  const std::string radix = ToWindows1252(locale.Item(CODESET))(locale.Item(RADIXCHAR));
  if (radix.size() == 1) info->decimal_separator = radix[0];
  return true;
}

}  // namespace

bool ReadLocaleInfo(const std::string& locale_name, LocaleInfo* info) {
  *info = UnitedStatesLocale();
  if (!ReadTimePieces(locale_name, info) || !ReadNumericPieces(locale_name, info)) {
    *info = UnitedStatesLocale();
    return false;
  }
  return true;
}

const LocaleInfo& CurrentLocale() {
  static const LocaleInfo info = [] {
    LocaleInfo result = UnitedStatesLocale();
    // A locale that is not installed counts as the C locale, as it does for setlocale.
    if (!ReadTimePieces(EnvironmentLocaleName("LC_TIME"), &result)) result = UnitedStatesLocale();
    LocaleInfo numeric = UnitedStatesLocale();
    if (ReadNumericPieces(EnvironmentLocaleName("LC_NUMERIC"), &numeric))
      result.decimal_separator = numeric.decimal_separator;
    return result;
  }();
  return info;
}

}  // namespace qv::platform
