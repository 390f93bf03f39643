#include "common/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/errors.h"

namespace qaz {

void AdviseHugePages(const void* data, size_t bytes, size_t from) {
  constexpr uintptr_t kHuge = 2u << 20;
  // Faulting huge pages in costs more than small ones (the kernel may have
  // to compact memory first); it pays only where the random accesses span
  // so much memory, or come so often, that the page walks cost more.
  if (bytes < from || bytes < kHuge) return;
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

namespace {

// A number from a one-line file; -1 when absent or "max".
int64_t ReadNumber(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text == "max") return -1;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || v < 0) return -1;
  return static_cast<int64_t>(v);
}

// The cgroup path of this process for the v2 hierarchy ("0::/x") or the
// v1 memory controller ("N:memory:/x").
std::string CgroupPath(bool v2) {
  std::ifstream in("/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    if (v2 && line.rfind("0::", 0) == 0) return line.substr(3);
    if (!v2) {
      size_t a = line.find(':');
      size_t b = line.find(':', a + 1);
      if (a == std::string::npos || b == std::string::npos) continue;
      std::string controllers = line.substr(a + 1, b - a - 1);
      std::stringstream parts(controllers);
      std::string c;
      while (std::getline(parts, c, ',')) {
        if (c == "memory") return line.substr(b + 1);
      }
    }
  }
  return "";
}

// Room left under the cgroup limit, or -1 when there is none.
int64_t CgroupRoom() {
  const std::string v2 = CgroupPath(true);
  for (const std::string& dir :
       {"/sys/fs/cgroup" + v2, std::string("/sys/fs/cgroup")}) {
    const int64_t limit = ReadNumber(dir + "/memory.max");
    if (limit >= 0) {
      const int64_t used = ReadNumber(dir + "/memory.current");
      return used >= 0 ? std::max<int64_t>(limit - used, 0) : limit;
    }
  }
  const std::string v1 = CgroupPath(false);
  for (const std::string& dir : {"/sys/fs/cgroup/memory" + v1,
                                 std::string("/sys/fs/cgroup/memory")}) {
    const int64_t limit = ReadNumber(dir + "/memory.limit_in_bytes");
    // v1 reports "no limit" as a huge number.
    if (limit >= 0 && limit < (int64_t{1} << 60)) {
      const int64_t used = ReadNumber(dir + "/memory.usage_in_bytes");
      return used >= 0 ? std::max<int64_t>(limit - used, 0) : limit;
    }
  }
  return -1;
}

}  // namespace

int64_t DefaultMemoryLimit() {
  int64_t available = AvailableMemory();
  const int64_t room = CgroupRoom();
  if (room >= 0 && (available < 0 || room < available)) available = room;
  if (available < 0) return -1;
  // What the process holds already counts towards its peak.
  return available + ResidentBytes();
}

int64_t ResidentBytes() {
  std::ifstream in("/proc/self/statm");
  long long size = 0, resident = 0;
  if (!(in >> size >> resident)) return 0;
  return static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE);
}

std::optional<int64_t> ParseSize(std::string_view text, SizeForm form) {
  std::string s(text);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t start = 0;
  while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start]))) ++start;
  s = s.substr(start);
  if (s.empty()) return std::nullopt;
  // Optional unit.
  auto ends_with = [&](const char* suffix) {
    const std::string x(suffix);
    if (s.size() < x.size()) return false;
    for (size_t k = 0; k < x.size(); ++k) {
      if (std::tolower(static_cast<unsigned char>(s[s.size() - x.size() + k])) != x[k]) return false;
    }
    return true;
  };
  if (form == SizeForm::kAny) {
    if (ends_with("ib")) {
      s.resize(s.size() - 2);
      if (s.empty() || !std::isalpha(static_cast<unsigned char>(s.back()))) return std::nullopt;
    } else if (s.size() > 1 && ends_with("b") &&
               std::isalpha(static_cast<unsigned char>(s[s.size() - 2]))) {
      s.pop_back();
    }
  }
  int64_t scale = 1;
  if (!s.empty() && std::isalpha(static_cast<unsigned char>(s.back()))) {
    switch (std::tolower(static_cast<unsigned char>(s.back()))) {
      case 'k': scale = int64_t{1} << 10; break;
      case 'm': scale = int64_t{1} << 20; break;
      case 'g': scale = int64_t{1} << 30; break;
      default: return std::nullopt;
    }
    s.pop_back();
  }
  if (s.empty()) return std::nullopt;
  constexpr int64_t kLargest = 9'000'000'000'000'000'000;
  bool whole = true;
  for (char c : s) {
    if (c == '.' && form == SizeForm::kAny) {
      whole = false;
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return std::nullopt;
    }
  }
  if (whole) {
    // Digits alone are counted exactly, however many.
    int64_t count = 0;
    for (char c : s) {
      const int digit = c - '0';
      if (count > (kLargest - digit) / 10) return std::nullopt;
      count = count * 10 + digit;
    }
    if (count < 1 || count > kLargest / scale) return std::nullopt;
    return count * scale;
  }
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !(v > 0) || !std::isfinite(v)) return std::nullopt;
  const double bytes = std::floor(v * static_cast<double>(scale));
  if (bytes < 1 || bytes > 9.0e18) return std::nullopt;
  return static_cast<int64_t>(bytes);
}

std::string FormatBytes(int64_t bytes) {
  char buf[64];
  const double b = static_cast<double>(bytes);
  if (b >= 1024.0 * 1024 * 1024) {
    std::snprintf(buf, sizeof(buf), "%.2f GiB", b / (1024.0 * 1024 * 1024));
  } else if (b >= 1024.0 * 1024) {
    std::snprintf(buf, sizeof(buf), "%.1f MiB", b / (1024.0 * 1024));
  } else if (b >= 1024.0) {
    std::snprintf(buf, sizeof(buf), "%.1f KiB", b / 1024.0);
  } else {
    std::snprintf(buf, sizeof(buf), "%lld bytes", static_cast<long long>(bytes));
  }
  return buf;
}

}  // namespace qaz
