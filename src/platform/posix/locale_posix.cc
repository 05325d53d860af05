#include "platform/locale.h"

namespace qv::platform {

// For now every process speaks United States English; reading LC_TIME and LC_NUMERIC comes next.
const LocaleInfo& CurrentLocale() {
  static const LocaleInfo info = UnitedStatesLocale();
  return info;
}

}  // namespace qv::platform
