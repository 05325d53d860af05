#include "phone/form_submission.h"

#include <algorithm>
#include <optional>

#include "phone/card_html.h"
#include "phone/phone_error.h"
#include "phone/wml_variables.h"

namespace qv::phone {

namespace {

std::string FormDecoded(std::string_view text) {
  std::string plain(text);
  std::replace(plain.begin(), plain.end(), '+', ' ');
  return UrlUnescape(plain);
}

}  // namespace

LinkTarget FormTarget(std::string_view form_query, const ServiceUrl& service) {
  std::optional<std::string> target;
  WmlVariables variables;
  while (!form_query.empty()) {
    const size_t end = std::min(form_query.find('&'), form_query.size());
    const std::string_view field = form_query.substr(0, end);
    form_query.remove_prefix(std::min(end + 1, form_query.size()));
    const size_t equals = field.find('=');
    const std::string name = FormDecoded(field.substr(0, equals));
    const std::string value = equals == std::string_view::npos ? "" : FormDecoded(field.substr(equals + 1));
    if (name == kGoField) {
      target = value;
    } else {
      variables.emplace(name, value);  // the first of a name counts
    }
  }
  if (!target) throw EFormError("The form's submission names no target.");
  return service.Resolve(std::nullopt, SubstituteVariables(*target, variables, VariableContext::kUrl));
}

}  // namespace qv::phone
