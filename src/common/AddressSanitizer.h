#pragma once
// Whether this build runs under AddressSanitizer. It reserves terabytes of address space up
// front, so a process under a limit of its address space cannot even start: the reader program
// then leaves that limit out, and tests of such limits skip. GCC says it is on with
// __SANITIZE_ADDRESS__, clang with __has_feature.

namespace pontrel {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

}  // namespace pontrel
