// The calling thread's apartment state made what a new thread has, without leaving the apartment (a
// thread that ends does not leave it either): for the Linux thread class, whose system threads run
// one thread object after another.
#pragma once

namespace qv::platform {

void ForgetThreadApartment();

}  // namespace qv::platform
