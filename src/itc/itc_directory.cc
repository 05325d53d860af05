#include "itc/itc_directory.h"

#include <algorithm>

#include "platform/text/text_compare.h"

namespace qv {

std::vector<TItcDirectory::Entry>::const_iterator TItcDirectory::LowerBound(const std::string& name) const {
  return std::lower_bound(entries_.begin(), entries_.end(), name,
                          [](const Entry& entry, const std::string& key) {
                            return platform::CompareTextIgnoreCase(entry.Name, key) < 0;
                          });
}

bool TItcDirectory::Add(const std::string& name, TVeskItc* endpoint) {
  const auto position = LowerBound(name);
  if (position != entries_.end() && platform::CompareTextIgnoreCase(position->Name, name) == 0) return false;
  entries_.insert(position, Entry{name, endpoint});
  return true;
}

TVeskItc* TItcDirectory::Find(const std::string& name) const {
  const auto position = LowerBound(name);
  if (position == entries_.end() || platform::CompareTextIgnoreCase(position->Name, name) != 0)
    return nullptr;
  return position->Endpoint;
}

bool TItcDirectory::Remove(const std::string& name, const TVeskItc* endpoint) {
  const auto position = LowerBound(name);
  if (position == entries_.end() || platform::CompareTextIgnoreCase(position->Name, name) != 0 ||
      position->Endpoint != endpoint)
    return false;
  entries_.erase(position);
  return true;
}

bool TItcDirectory::Rename(const std::string& old_name, const std::string& new_name,
                           const TVeskItc* endpoint) {
  TVeskItc* const holder = Find(new_name);
  if (holder != nullptr && holder != endpoint) return false;
  const auto position = LowerBound(old_name);
  if (position == entries_.end() || platform::CompareTextIgnoreCase(position->Name, old_name) != 0 ||
      position->Endpoint != endpoint)
    return false;
  TVeskItc* const owner = position->Endpoint;
  entries_.erase(position);
  Add(new_name, owner);
  return true;
}

}  // namespace qv
