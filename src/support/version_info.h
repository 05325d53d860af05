// TVersionInfo: the version resource of a program file, read once: the ten predefined string values
// of its first translation, any other value by key, and the four numbers of its FileVersion text.
// Values come back in the ANSI code page (characters outside Windows-1252 become "?"), each cut at its
// first NUL. There is no owner parameter: a value or a std::unique_ptr owns the object.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TVersionInfo {
 public:
  static constexpr int kValueCount = 10;
  // The keys of the predefined values, by index.
  static constexpr std::array<const char*, kValueCount> kValueKeys = {
      "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
      "LegalTradeMarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};

  // Reads the version resource of the file at path; an empty path reads the running program's own
  // file. A missing file, one without a version resource or one without a translation leaves every
  // value empty and every number 0. A FileVersion part that is not a decimal integer raises
  // EConvertError "'%s' is not a valid integer value".
  explicit TVersionInfo(const std::string& path = std::string());
  // The same over a version resource already read (for checking untrusted resources without a file).
  static TVersionInfo FromVersionData(std::vector<uint8_t> version_data);

  // The string value of a key of the first translation; empty when there is none.
  std::string GetValue(const std::string& key) const;
  // The predefined value of an index from 0 to 9 (kValueKeys); ERangeError outside.
  const std::string& GetItem(int index) const;

  const std::string& FileVersion() const { return GetItem(2); }
  const std::string& ProductVersion() const { return GetItem(8); }
  const std::string& Comments() const { return GetItem(9); }

  uint16_t MajorVersion() const { return major_version_; }
  uint16_t MinorVersion() const { return minor_version_; }
  uint16_t Release() const { return release_; }
  uint16_t Build() const { return build_; }

  // "\StringFileInfo\" + language and code page of the first translation + "\"; empty without one.
  const std::string& KeyPrefix() const { return key_prefix_; }
  // The whole version resource as read; empty when the file has none.
  const std::vector<uint8_t>& VersionData() const { return version_data_; }

 private:
  struct EmptyTag {};
  explicit TVersionInfo(EmptyTag) {}
  // Fills in the values and numbers from version_data_.
  void ReadValues();
  void SplitFileVersion();

  std::array<std::string, kValueCount> values_;
  std::string key_prefix_;
  std::vector<uint8_t> version_data_;
  uint16_t major_version_ = 0;
  uint16_t minor_version_ = 0;
  uint16_t release_ = 0;
  uint16_t build_ = 0;
};

}  // namespace qv
