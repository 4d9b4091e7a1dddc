// Forced into every translation unit of the build (-include): binds the few libstdc++ functions whose
// default symbol version is newer than the wheels' platform tag allows to an older version of the
// same function, which every libstdc++ since exports. Plain C++: no Python headers.
#pragma once

#if defined(__GNUC__) && defined(__ELF__) && defined(__x86_64__)
// std::condition_variable::wait(unique_lock<mutex>&), reached through every wait with a predicate.
// The newest version only drops noexcept (a thread cancelled inside the wait unwinds instead of
// terminating); the older one forwards to it. Nothing here cancels threads, so both behave alike.
__asm__(
    ".symver _ZNSt18condition_variable4waitERSt11unique_lockISt5mutexE,"
    "_ZNSt18condition_variable4waitERSt11unique_lockISt5mutexE@GLIBCXX_3.4.11");
#endif
