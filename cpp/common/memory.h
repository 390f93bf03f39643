// The memory the system can still give, and how large arrays ask for it.
//
// Usage:
//   qaz::CheckMemory(bytes, "the translation table");  // MemoryError if short
//   qaz::AdviseHugePages(cells.data(), cells.size() * sizeof(cells[0]));
#ifndef QAZ_COMMON_MEMORY_H_
#define QAZ_COMMON_MEMORY_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace qaz {

// Bytes of memory the system can still give (MemAvailable), -1 if unknown.
int64_t AvailableMemory();

// Throws MemoryError naming `what` when `bytes` exceed the available memory.
void CheckMemory(int64_t bytes, const std::string& what);

// The same check against a given amount of available memory (-1: unknown,
// never refuses).
void CheckMemory(int64_t bytes, const std::string& what, int64_t available);

// Asks the kernel to back a large array with huge pages: the EM sweeps
// gather at random over gigabytes, where TLB misses would dominate.  Call it
// on reserved, untouched memory.  Does nothing for small arrays.
void AdviseHugePages(const void* data, size_t bytes);

}  // namespace qaz

#endif  // QAZ_COMMON_MEMORY_H_
