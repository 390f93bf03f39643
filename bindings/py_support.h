// Glue shared by the alignment modules: the reporter that routes engine log
// lines and progress to qaz.common, error translation, argument checks.
#ifndef QAZ_BINDINGS_PY_SUPPORT_H_
#define QAZ_BINDINGS_PY_SUPPORT_H_

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "common/float_format.h"
#include "pickle_support.h"
#include "common/reporter.h"

namespace qaz_py {

namespace py = pybind11;

// The package logger of `module_name` (qaz.common.logging.getColorLogger).
py::object Logger(const char* module_name);
void LogInfo(const char* module_name, const std::string& message);
void DebugPrint(const char* module_name, py::handle object);

// Engine reporter: log lines go to one module's logger, progress to
// qaz.common.progress.Bar.  Progress steps and polls check for signals, so
// a Ctrl-C raises KeyboardInterrupt out of the engine loop.  The engine may
// call it with the interpreter lock released (it takes the lock itself),
// always from the thread that started the engine call.
class PyReporter : public qaz::Reporter {
 public:
  explicit PyReporter(const char* module_name) : module_(module_name) {}
  void Info(const std::string& message) override;
  void Warning(const std::string& message) override;
  std::unique_ptr<qaz::Progress> StartProgress(const std::string& label,
                                               int64_t total) override;
  // Ctrl-C: raises KeyboardInterrupt out of the engine loop.
  void Poll() override;

 private:
  const char* module_;
};

// Registers the translations of the engine's exceptions for one module.
void RegisterErrorTranslators();

using pickling::TypeName;
[[noreturn]] void ThrowExpected(const char* expected, py::handle got);

// A file path: text or os.PathLike, else the TypeError open() raises.
std::string PathArg(py::handle value);
// A 32-bit signed integer argument (TypeError, OverflowError otherwise).
int32_t Int32Arg(py::handle value);

using qaz::Thousands;

}  // namespace qaz_py

#endif  // QAZ_BINDINGS_PY_SUPPORT_H_
