#include "common/memory.h"

#include <sys/mman.h>

#include <cstdio>

#include "common/errors.h"

namespace qaz {

void AdviseHugePages(const void* data, size_t bytes) {
  constexpr uintptr_t kHuge = 2u << 20;
  if (bytes < 2 * kHuge) return;
  uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
#ifdef MADV_HUGEPAGE
  if (end > begin) {
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
#endif
}

int64_t AvailableMemory() {
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (f == nullptr) return -1;
  char line[256];
  int64_t kb = -1;
  while (std::fgets(line, sizeof(line), f) != nullptr) {
    long long v;
    if (std::sscanf(line, "MemAvailable: %lld kB", &v) == 1) {
      kb = v;
      break;
    }
  }
  std::fclose(f);
  return kb < 0 ? -1 : kb * 1024;
}

void CheckMemory(int64_t bytes, const std::string& what) {
  CheckMemory(bytes, what, AvailableMemory());
}

void CheckMemory(int64_t bytes, const std::string& what, int64_t available) {
  if (available < 0 || bytes <= available) return;
  char buf[160];
  std::snprintf(buf, sizeof(buf),
                " would need about %.2f GiB, but only %.2f GiB are available",
                bytes / 1073741824.0, available / 1073741824.0);
  throw MemoryError(what + buf);
}

}  // namespace qaz
