#pragma once

// PELINDRA_SANITIZED is set in a build under the address sanitizer, whose memory and speed
// the tests that measure either must allow for.
#if defined(__SANITIZE_ADDRESS__)
#define PELINDRA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELINDRA_SANITIZED 1
#endif
#endif
