#include "platform/locale/locale.h"

namespace qv::platform {

LocaleInfo UnitedStatesLocale() {
  LocaleInfo info;
  info.short_date_format = "M/d/yyyy";
  info.long_date_format = "dddd, MMMM d, yyyy";
  info.short_time_format = "h:mm AMPM";
  info.long_time_format = "h:mm:ss AMPM";
  info.short_month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  info.long_month_names = {"January", "February", "March",     "April",   "May",      "June",
                           "July",    "August",   "September", "October", "November", "December"};
  info.short_day_names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  info.long_day_names = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  info.date_separator = '/';
  info.time_separator = ':';
  info.time_am_string = "AM";
  info.time_pm_string = "PM";
  info.decimal_separator = '.';
  return info;
}

}  // namespace qv::platform
