// TARV_VERIFY_CHECK: an invariant that the code relies on, checked in verify
// builds and stated in every other.
//
// Verify builds define TARV_VERIFY: Debug builds and every sanitizer build
// (CI's AddressSanitizer, ThreadSanitizer and libFuzzer runs). There a failed
// check prints the condition and its place and aborts; elsewhere it is
// compiled out, as assert is under NDEBUG (a condition may name what only
// verify builds keep).
//
// A check is never the way input is refused: a request that breaks a rule is
// answered with its error by the code, and a check states what must hold
// whatever the request was. TARV_VERIFY_ONLY(...) keeps what only the checks
// need (a counter, a flag) out of the library as it ships.
#ifndef TARV_BASE_VERIFY_H_
#define TARV_BASE_VERIFY_H_

#ifdef TARV_VERIFY
#include <cstdio>
#include <cstdlib>

#define TARV_VERIFY_CHECK(cond)                                                               \
  do {                                                                                        \
    if (!(cond)) {                                                                            \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);      \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)
#define TARV_VERIFY_ONLY(...) __VA_ARGS__
#else
#define TARV_VERIFY_CHECK(cond) \
  do {                          \
  } while (false)
#define TARV_VERIFY_ONLY(...)
#endif

#endif  // TARV_BASE_VERIFY_H_
