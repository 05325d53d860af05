// How an endpoint calls the handlers its owner set: through a copy on the calling thread's stack (a
// handler still running when its endpoint goes keeps its own captured state), nothing when none is
// set, and an exception it raises handed to the endpoint's exception handling instead of escaping
// into the message loop.
#pragma once

#include <utility>

namespace qv {

template <typename Handler, typename ExceptionHandling, typename... Arguments>
void CallGuarded(const Handler& handler, ExceptionHandling&& handle_exception, Arguments&&... arguments) {
  const Handler copy = handler;
  if (!copy) return;
  try {
    copy(std::forward<Arguments>(arguments)...);
  } catch (...) {
    handle_exception();
  }
}

}  // namespace qv
