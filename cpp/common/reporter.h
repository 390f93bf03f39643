// How the engine talks to the outside while it works: log lines and progress.
// The engine never prints; the bindings route these calls to the package's
// logger and progress display, and may throw from them (an interrupt), so
// engine loops must be exception-safe.
#ifndef QAZ_COMMON_REPORTER_H_
#define QAZ_COMMON_REPORTER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qaz {

class Progress {
 public:
  virtual ~Progress() = default;
  // Called every so often with the work done since the last call.
  virtual void Advance(int64_t n) = 0;
};

class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void Info(const std::string& message) = 0;
  virtual void Warning(const std::string& message) = 0;
  // A progress display for `total` units of work (-1 when unknown).
  virtual std::unique_ptr<Progress> StartProgress(const std::string& label,
                                                  int64_t total) = 0;
  // Called every few milliseconds during long work, from the thread that
  // started it; may throw to stop the work (an interrupt).
  virtual void Poll() {}
};

// A reporter that drops everything (engine tests, benchmarks).
class NullReporter : public Reporter {
 public:
  void Info(const std::string&) override {}
  void Warning(const std::string&) override {}
  std::unique_ptr<Progress> StartProgress(const std::string&,
                                          int64_t) override {
    return nullptr;
  }
};

// Keeps the warnings and drops the rest: work done apart (a shard on a
// worker) hands its warnings to the caller, who logs them in order.
class CollectingReporter : public NullReporter {
 public:
  void Warning(const std::string& message) override {
    warnings.push_back(message);
  }
  std::vector<std::string> warnings;
};

// Batches progress so that the reporter is called about once per `step`
// units; Tick costs one add and one compare.
class ProgressTicker {
 public:
  ProgressTicker(Reporter& reporter, const std::string& label, int64_t total,
                 int64_t step)
      : progress_(reporter.StartProgress(label, total)), step_(step) {}
  void Tick(int64_t n = 1) {
    pending_ += n;
    if (pending_ >= step_) Flush();
  }
  void Flush() {
    if (pending_ > 0 && progress_) progress_->Advance(pending_);
    pending_ = 0;
  }

 private:
  std::unique_ptr<Progress> progress_;
  int64_t step_;
  int64_t pending_ = 0;
};

}  // namespace qaz

#endif  // QAZ_COMMON_REPORTER_H_
