// The parts of the waitable objects that both platforms share: holding the platform's state.
#include "platform/threads/sync.h"

#include <utility>

namespace qv::platform {

WaitableObject::WaitableObject(std::shared_ptr<State> state) : state_(std::move(state)) {}
WaitableObject::~WaitableObject() = default;

}  // namespace qv::platform
