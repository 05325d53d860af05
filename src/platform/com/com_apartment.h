// The apartment bookkeeping behind CoInitializeEx, which each platform layer keeps (the system's own
// on Windows); the portable class registry (com.cc) asks it before creating an object.
#pragma once

namespace qv::platform {

// True when the calling thread has entered an apartment, or some thread of the process is in the
// multithreaded apartment (which a thread that never called CoInitializeEx joins implicitly).
bool CurrentThreadMayCreateObjects();

}  // namespace qv::platform
