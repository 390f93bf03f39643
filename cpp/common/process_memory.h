// The memory a process may use and uses: the limit a run is held to and the
// resident size it has reached.
#ifndef QAZ_COMMON_PROCESS_MEMORY_H_
#define QAZ_COMMON_PROCESS_MEMORY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qaz {

// The memory available to this process: the smaller of MemAvailable and
// the limit of its cgroup (v2 memory.max, or v1 memory.limit_in_bytes) less
// what the cgroup already uses, when one is set.  -1 when unknown.
int64_t DefaultMemoryLimit();

// Resident bytes of this process now (/proc/self/statm), 0 if unknown.
int64_t ResidentBytes();

// "320M", "1.5G", "800000K", "12345": a byte count with an optional suffix
// K, M or G (powers of 1024, case-insensitive, an optional trailing "B" or
// "iB").  nullopt for text that is not a size or not positive.
std::optional<int64_t> ParseSize(std::string_view text);

// A byte count as people read it ("1.50 GiB", "320.0 MiB", "512 bytes").
std::string FormatBytes(int64_t bytes);

}  // namespace qaz

#endif  // QAZ_COMMON_PROCESS_MEMORY_H_
