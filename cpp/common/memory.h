// The memory the system can still give, the limit a run is held to and
// the resident size it has reached, and how large arrays ask for memory.
//
// Usage:
//   qaz::CheckMemory(bytes, "the translation table");  // MemoryError if short
//   qaz::AdviseHugePages(cells.data(), cells.size() * sizeof(cells[0]));
#ifndef QAZ_COMMON_MEMORY_H_
#define QAZ_COMMON_MEMORY_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qaz {

// Bytes of memory the system can still give (MemAvailable), -1 if unknown.
int64_t AvailableMemory();

// Throws MemoryError naming `what` when `bytes` exceed the available memory.
void CheckMemory(int64_t bytes, const std::string& what);

// The same check against a given amount of available memory (-1: unknown,
// never refuses).
void CheckMemory(int64_t bytes, const std::string& what, int64_t available);

// The memory available to this process: the smaller of MemAvailable and
// the limit of its cgroup (v2 memory.max, or v1 memory.limit_in_bytes) less
// what the cgroup already uses, when one is set.  -1 when unknown.
int64_t DefaultMemoryLimit();

// Resident bytes of this process now (/proc/self/statm), 0 if unknown.
int64_t ResidentBytes();

// How much of the size syntax ParseSize takes.
enum class SizeForm {
  kAny,          // also fractions ("1.5G") and a trailing "B" or "iB" ("8KiB")
  kWholeNumber,  // digits with an optional K, M or G only ("512M", "4096")
};

// "320M", "1.5G", "800000K", "12345": a byte count with an optional suffix
// K, M or G (powers of 1024, case-insensitive; with SizeForm::kAny also an
// optional trailing "B" or "iB"), white space around it ignored.  Digits
// alone are counted exactly; a fraction is rounded down to whole bytes.
// nullopt for text that is not a size of that form, not positive or above
// 9e18 bytes.
std::optional<int64_t> ParseSize(std::string_view text, SizeForm form = SizeForm::kAny);

// A byte count as people read it ("1.50 GiB", "320.0 MiB", "512 bytes").
std::string FormatBytes(int64_t bytes);

// Asks the kernel to back a large array with huge pages: the EM sweeps
// gather at random over gigabytes, where TLB misses would dominate.  Call it
// on reserved, untouched memory.  Does nothing for arrays under `from`
// bytes: for the EM sweeps, under 512 MiB faulting huge pages in costs more
// than it saves; walks that read each cell many more times (the HMM's)
// gain from them on far smaller arrays.
constexpr size_t kHugePagesWorthIt = size_t{512} << 20;
void AdviseHugePages(const void* data, size_t bytes,
                     size_t from = kHugePagesWorthIt);

}  // namespace qaz

#endif  // QAZ_COMMON_MEMORY_H_
