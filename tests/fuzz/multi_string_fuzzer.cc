// Multi-string values (REG_MULTI_SZ) of the registry layer: arbitrary bytes as a stored value,
// unpacked, packed and unpacked again; the same bytes cut into a list at 0x01 bytes, packed and
// unpacked; and, for every eighth input, the bytes stored in the registry as they stand and read
// back through ReadStringListDef, which must give what UnpackStrings gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/typed_registry.h"
#include "fuzz_state_dir.h"
#include "platform/registry/registry.h"

namespace {

using qv::TVeskRegistry;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr char kKey[] = "Software\\QuorvaneFuzz";

void StoreRaw(const std::string& bytes) {
  using namespace qv::platform;
  RegKey key;
  Check(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.Receive(), nullptr) == ERROR_SUCCESS);
  Check(RegSetValueEx(key.Get(), "List", REG_MULTI_SZ, bytes) == ERROR_SUCCESS);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzzing::FuzzStateDirectory();  // the registry hive
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // A stored value: its strings are non-empty and hold no NUL, and they survive packing.
  std::vector<std::string> unpacked;
  TVeskRegistry::UnpackStrings(&bytes, &unpacked);
  size_t total = 0;
  for (const std::string& text : unpacked) {
    Check(!text.empty() && text.find('\0') == std::string::npos);
    total += text.size() + 1;
  }
  Check(total <= bytes.size() + 1);
  const std::string packed = TVeskRegistry::PackStrings(&unpacked);
  Check(packed.size() == total + 1);
  std::vector<std::string> again;
  TVeskRegistry::UnpackStrings(&packed, &again);
  Check(again == unpacked);
  // What was unpacked is the front of the value.
  Check(bytes.compare(0, std::min(bytes.size(), total), packed, 0, std::min(bytes.size(), total)) == 0);

  // A list as a program holds it: empty strings are left out when it is packed; strings without NUL
  // come back as they were.
  std::vector<std::string> list;
  for (size_t start = 0;;) {
    const size_t end = bytes.find('\x01', start);
    list.push_back(bytes.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const std::string list_packed = TVeskRegistry::PackStrings(&list);
  Check(!list_packed.empty() && list_packed.back() == '\0');
  std::vector<std::string> list_again;
  TVeskRegistry::UnpackStrings(&list_packed, &list_again);
  if (bytes.find('\0') == std::string::npos) {
    std::vector<std::string> expected;
    for (const std::string& text : list)
      if (!text.empty()) expected.push_back(text);
    Check(list_again == expected);
  }

  // Through the registry: the value as another program may have stored it.
  if (size > 0 && data[0] % 8 == 0) {
    StoreRaw(bytes);
    TVeskRegistry registry;
    registry.KeyPath = kKey;
    registry.WriteDefaults = false;
    std::vector<std::string> read = {"default"};
    registry.ReadStringListDef("List", &read);
    Check(read == unpacked);
    // Written back by the layer and read again.
    registry.PutStringList("Written", &unpacked);
    std::vector<std::string> written;
    registry.ReadStringListDef("Written", &written);
    Check(written == unpacked);
  }
  return 0;
}
