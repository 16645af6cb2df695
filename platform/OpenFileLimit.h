#pragma once

#include <cstdint>

namespace platform {

// The process's soft limit of open descriptors (RLIMIT_NOFILE). Thousands of test workers need more
// than the usual soft limit of 1024, so start-up raises it to the hard limit; the tester reads the
// result once per context and tests set their own.
// Raises the soft limit to the hard limit; returns the soft limit in force afterwards.
uint64_t RaiseOpenFileLimit();
// The soft limit in force; UINT64_MAX when there is none.
uint64_t OpenFileLimit();

} // namespace platform
