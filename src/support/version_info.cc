#include "support/version_info.h"

#include <cstdio>

#include "platform/errors/exception.h"
#include "platform/process/module.h"
#include "platform/resources/file_version.h"
#include "support/convert.h"

namespace qv {

namespace {

// The number before the first "." of rest, which keeps only what follows that "."; false when
// rest has no ".".
bool TakePartBeforeDot(std::string* rest, uint16_t* part) {
  const size_t dot = rest->find('.');
  if (dot == std::string::npos) return false;
  *part = static_cast<uint16_t>(StrToInt(rest->substr(0, dot)));
  rest->erase(0, dot + 1);
  return true;
}

}  // namespace

TVersionInfo::TVersionInfo(const std::string& path) {
  const std::string file = path.empty() ? platform::GetModuleFileName() : path;
  const uint32_t size = platform::GetFileVersionInfoSize(file);
  if (size == 0) return;
  version_data_.assign(size, 0);
  if (!platform::GetFileVersionInfo(file, version_data_)) {
    version_data_.clear();
    return;
  }
  ReadValues();
}

TVersionInfo TVersionInfo::FromVersionData(std::vector<uint8_t> version_data) {
  TVersionInfo info{EmptyTag{}};
  info.version_data_ = std::move(version_data);
  info.ReadValues();
  return info;
}

void TVersionInfo::ReadValues() {
  std::string translation;
  if (!platform::VerQueryValue(version_data_, "\\VarFileInfo\\Translation", &translation) ||
      translation.size() < 4) {
    return;
  }
  const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<uint8_t>(translation[i])); };
  const unsigned language = byte(0) | (byte(1) << 8);
  const unsigned code_page = byte(2) | (byte(3) << 8);
  char prefix[32];
  std::snprintf(prefix, sizeof(prefix), "\\StringFileInfo\\%04X%04X\\", language, code_page);
  key_prefix_ = prefix;

  for (int i = 0; i < kValueCount; ++i) values_[i] = GetValue(kValueKeys[i]);
  SplitFileVersion();
}

void TVersionInfo::SplitFileVersion() {
  std::string rest = values_[2];
  if (rest.empty()) return;
  if (!TakePartBeforeDot(&rest, &major_version_)) return;
  if (!TakePartBeforeDot(&rest, &minor_version_)) return;
  if (!TakePartBeforeDot(&rest, &release_)) return;
  if (!rest.empty()) build_ = static_cast<uint16_t>(StrToInt(rest));
}

std::string TVersionInfo::GetValue(const std::string& key) const {
  if (version_data_.empty()) return std::string();
  std::string value;
  if (!platform::VerQueryValue(version_data_, key_prefix_ + key, &value)) return std::string();
  return value.substr(0, value.find('\0'));
}

const std::string& TVersionInfo::GetItem(int index) const {
  if (index < 0 || index >= kValueCount) {
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return values_[index];
}

}  // namespace qv
