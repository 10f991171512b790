#pragma once

#include <string>

namespace harness {

// Entries of /proc/self/fd, not counting the one that reads them.
int OpenDescriptors();
// A number field of /proc/self/status, such as "VmRSS:" (KiB) or "Threads:"; -1 when absent.
long StatusField(const std::string& key);

}  // namespace harness
