// The system threads that run the platform's thread objects (Thread). Starting and ending a system
// thread is dear (the kernel makes a stack and task for it, the C library maps and gives back its
// stack), and a connection of the threaded server costs one thread object. So a system thread whose
// work has ended waits a while for the next work before it ends: at most 32 wait, each for 10 s, named
// "qv-idle". Every system thread gets a 1 MB stack, as on Windows. Internal to the POSIX platform layer.
//
// Only the platform's own per-thread state is made fresh for each work; nothing else of ours is
// thread-local. The C library's per-thread state that we never set (the thread's locale, its signal
// mask) would carry over from one work to the next.
#pragma once

#include <functional>

namespace qv::platform::posix {

// Runs the work on a system thread that runs nothing else meanwhile: an idle one that ran earlier work,
// or a new one. The work starts with the per-thread state of the platform (last error, message queue,
// apartment) as a new thread has it; what the work leaves there is let go when it returns. Raises
// std::system_error when no system thread can be started.
void RunOnSystemThread(std::function<void()> work);

// System threads that wait for work now (for tests).
int IdleSystemThreads();

}  // namespace qv::platform::posix
