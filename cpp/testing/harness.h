// The one test harness of the engine's unit tests: every `*_test.cc` under
// cpp/ is linked into a single program that runs all registered tests.
//
//   QAZ_TEST(TransTableFindsCells) {
//     QAZ_EXPECT(table.Find(0, 1) == 3);
//     QAZ_EXPECT_EQ(FormatRepr(0.1), "0.1");
//     QAZ_EXPECT_THROW(table.Get(9, 9), std::out_of_range);
//     auto e = qaz::testing::Thrown<qaz::IoError>([&] { qaz::LineReader r(path); });
//     QAZ_EXPECT(e && e->err() == ENOENT);
//   }
//
// A failed expectation prints the file, the line and the expression and lets
// the test go on; the program exits 1 when any expectation failed.
#ifndef QAZ_TESTING_HARNESS_H_
#define QAZ_TESTING_HARNESS_H_

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/reporter.h"

namespace qaz::testing {

// Registers a test at static initialisation.
struct Registration {
  Registration(const char* name, std::function<void()> body);
};

// Records one failed expectation.
void Fail(const char* file, int line, const std::string& what);

template <typename A, typename B>
std::string Describe(const A& a, const B& b) {
  std::ostringstream out;
  out << "got " << a << ", expected " << b;
  return out.str();
}

// A reporter that keeps the log lines ("I: text", "W: text") in order.
class RecordingReporter : public Reporter {
 public:
  void Info(const std::string& m) override { lines.push_back("I: " + m); }
  void Warning(const std::string& m) override { lines.push_back("W: " + m); }
  std::unique_ptr<Progress> StartProgress(const std::string&,
                                          int64_t) override {
    return nullptr;
  }
  std::vector<std::string> lines;
};
// The exception of type E that `f` throws, to look into; nothing when it
// throws none (another type propagates).
template <typename E, typename F>
std::optional<E> Thrown(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e;
  }
  return std::nullopt;
}

// Path of a fresh scratch file for the running test (removed at exit).
std::string TempPath(const std::string& name);
// Writes `text` to a fresh scratch file and returns its path.
std::string WriteTemp(const std::string& name, const std::string& text);
// The whole content of a file.
std::string ReadFile(const std::string& path);

}  // namespace qaz::testing

#define QAZ_TEST_CAT2(a, b) a##b
#define QAZ_TEST_CAT(a, b) QAZ_TEST_CAT2(a, b)

#define QAZ_TEST(name)                                              \
  static void QAZ_TEST_CAT(QazTest_, name)();                       \
  static ::qaz::testing::Registration QAZ_TEST_CAT(QazReg_, name)(  \
      #name, &QAZ_TEST_CAT(QazTest_, name));                        \
  static void QAZ_TEST_CAT(QazTest_, name)()

#define QAZ_EXPECT(cond)                                            \
  do {                                                              \
    if (!(cond)) ::qaz::testing::Fail(__FILE__, __LINE__, #cond);   \
  } while (0)

#define QAZ_EXPECT_EQ(actual, expected)                                   \
  do {                                                                    \
    const auto& qaz_a_ = (actual);                                        \
    const auto& qaz_b_ = (expected);                                      \
    if (!(qaz_a_ == qaz_b_)) {                                            \
      ::qaz::testing::Fail(__FILE__, __LINE__,                            \
                           #actual " == " #expected ": " +                \
                               ::qaz::testing::Describe(qaz_a_, qaz_b_)); \
    }                                                                     \
  } while (0)

#define QAZ_EXPECT_THROW(stmt, type)                                        \
  do {                                                                      \
    bool qaz_thrown_ = false;                                               \
    try {                                                                   \
      stmt;                                                                 \
    } catch (const type&) {                                                 \
      qaz_thrown_ = true;                                                   \
    } catch (...) {                                                         \
    }                                                                       \
    if (!qaz_thrown_) {                                                     \
      ::qaz::testing::Fail(__FILE__, __LINE__, #stmt " throws " #type);     \
    }                                                                       \
  } while (0)

#endif  // QAZ_TESTING_HARNESS_H_
