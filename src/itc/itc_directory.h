// The directory of connected endpoints: (name, endpoint) entries kept sorted by name, names compared
// ignoring letter case, duplicates refused, lookups by binary search. Not locked itself: the
// endpoints guard it with their single-writer / multi-reader lock.
#pragma once

#include <string>
#include <vector>

namespace qv {

class TVeskItc;

class TItcDirectory {
 public:
  struct Entry {
    std::string Name;
    TVeskItc* Endpoint;
  };

  // False when the name is present already, in any letter case.
  bool Add(const std::string& name, TVeskItc* endpoint);
  // The endpoint entered under the name (any letter case), or nullptr.
  TVeskItc* Find(const std::string& name) const;
  // Removes the entry of that name when it belongs to the endpoint; false when there is none.
  bool Remove(const std::string& name, const TVeskItc* endpoint);
  // Files the endpoint's entry under a new name. False, and nothing changes, when the endpoint has no
  // entry under the old name or another endpoint holds the new one.
  bool Rename(const std::string& old_name, const std::string& new_name, const TVeskItc* endpoint);

  // In directory order.
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry>::const_iterator LowerBound(const std::string& name) const;
  std::vector<Entry> entries_;
};

}  // namespace qv
