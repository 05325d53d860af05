#include "platform/com/automation.h"

namespace qv::platform {

Variant Variant::Bool(bool value) {
  Variant variant;
  variant.kind = VariantKind::Bool;
  variant.boolean = value;
  return variant;
}

Variant Variant::Int(int64_t value) {
  Variant variant;
  variant.kind = VariantKind::Int;
  variant.integer = value;
  return variant;
}

Variant Variant::Date(double value) {
  Variant variant;
  variant.kind = VariantKind::Date;
  variant.number = value;
  return variant;
}

Variant Variant::Text(std::u16string value) {
  Variant variant;
  variant.kind = VariantKind::Text;
  variant.text = std::move(value);
  return variant;
}

Variant Variant::Bytes(std::string value) {
  Variant variant;
  variant.kind = VariantKind::Bytes;
  variant.bytes = std::move(value);
  return variant;
}

Variant Variant::Object(std::shared_ptr<AutomationObject> value) {
  Variant variant;
  variant.kind = VariantKind::Object;
  variant.object = std::move(value);
  return variant;
}

Variant Variant::Missing() {
  Variant variant;
  variant.kind = VariantKind::Error;
  variant.error = DISP_E_PARAMNOTFOUND;
  return variant;
}

}  // namespace qv::platform
