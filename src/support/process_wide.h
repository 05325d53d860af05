// A slot for one of the process-wide objects (the settings snapshot, the event log, the trace
// writer, the request log). The program entry creates the objects in their fixed order and installs
// each one here; tests install their own. The slot itself is constant-initialised, so it is usable
// before any constructor of another translation unit runs.
#pragma once

#include "platform/errors/exception.h"

namespace qv {

template <class T>
class ProcessWide {
 public:
  constexpr explicit ProcessWide(const char* name) : name_(name) {}
  ProcessWide(const ProcessWide&) = delete;
  ProcessWide& operator=(const ProcessWide&) = delete;

  T* operator->() const { return &Get(); }
  T& operator*() const { return Get(); }
  T& Get() const {
    if (object_ == nullptr) throw EAssertionFailed(std::string("The process-wide ") + name_ + " does not exist");
    return *object_;
  }
  bool Exists() const { return object_ != nullptr; }

  // Installs an object for as long as the returned guard lives; the previous one comes back after.
  class Installation {
   public:
    Installation(ProcessWide& slot, T& object) : slot_(slot), previous_(slot.object_) { slot_.object_ = &object; }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;
    ~Installation() { slot_.object_ = previous_; }

   private:
    ProcessWide& slot_;
    T* previous_;
  };

 private:
  const char* name_;
  T* object_ = nullptr;
};

}  // namespace qv
