// What a test needs to know about the sanitizer it runs under.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define QUORVANE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUORVANE_THREAD_SANITIZER 1
#endif
#endif

#ifdef QUORVANE_THREAD_SANITIZER
inline constexpr bool kThreadSanitizer = true;
#else
inline constexpr bool kThreadSanitizer = false;
#endif

// The thread sanitizer's runtime cannot follow the way Qt starts a child process (it stops the
// test inside its own fork handler), so a test that only runs a script of ours skips there; the
// normal and the address-sanitizer builds run it.
#define SKIP_CHILD_PROCESS_UNDER_THREAD_SANITIZER()                                                \
    do {                                                                                           \
        if constexpr (kThreadSanitizer)                                                            \
            GTEST_SKIP() << "starts a child process, which the thread sanitizer cannot follow";    \
    } while (false)
