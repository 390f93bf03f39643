#include "testing/harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace qaz::testing {

namespace {

struct Test {
  const char* name;
  std::function<void()> body;
};

std::vector<Test>& Tests() {
  static std::vector<Test> tests;
  return tests;
}

int failures = 0;
const char* current = "";
std::vector<std::string> temps;

}  // namespace

Registration::Registration(const char* name, std::function<void()> body) {
  Tests().push_back(Test{name, std::move(body)});
}

void Fail(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: [%s] expected %s\n", file, line, current,
               what.c_str());
  ++failures;
}

std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir ? dir : "/tmp") + "/qaz-test-" +
                     std::to_string(::getpid()) + "-" + current + "-" + name;
  temps.push_back(path);
  return path;
}

std::string WriteTemp(const std::string& name, const std::string& text) {
  std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

}  // namespace qaz::testing

int main(int argc, char** argv) {
  using namespace qaz::testing;
  int run = 0;
  for (const Test& t : Tests()) {
    // Optional filter: run only the tests whose names contain argv[1].
    if (argc > 1 && std::string(t.name).find(argv[1]) == std::string::npos) {
      continue;
    }
    current = t.name;
    const int before = failures;
    try {
      t.body();
    } catch (const std::exception& e) {
      Fail("(test)", 0, std::string("no exception, got: ") + e.what());
    }
    std::printf("%s %s\n", failures == before ? "ok  " : "FAIL", t.name);
    ++run;
  }
  for (const std::string& path : temps) std::remove(path.c_str());
  std::printf("%d tests, %d failed expectations\n", run, failures);
  return failures == 0 ? 0 : 1;
}
