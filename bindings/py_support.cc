#include "py_support.h"

#include <Python.h>

#include "common/errors.h"

namespace qaz_py {

py::object Logger(const char* module_name) {
  return py::module_::import("qaz.common.logging")
      .attr("getColorLogger")(module_name);
}

void LogInfo(const char* module_name, const std::string& message) {
  Logger(module_name).attr("info")(message);
}

void DebugPrint(const char* module_name, py::handle object) {
  Logger(module_name).attr("debug_print")(object);
}

namespace {

class PyProgress : public qaz::Progress {
 public:
  // Made and used on the thread that runs the engine call, which may not
  // hold the interpreter lock: every method takes it.
  PyProgress(const std::string& label, int64_t total) {
    py::gil_scoped_acquire acquire;
    py::object bar_type = py::module_::import("qaz.common.progress").attr("Bar");
    bar_ = total >= 0 ? bar_type(label, total) : bar_type(label);
    advance_ = bar_.attr("advance");
  }
  ~PyProgress() override {
    py::gil_scoped_acquire acquire;
    // Closing must not throw out of a destructor, nor lose a pending error;
    // a Ctrl-C that arrives during it is raised again at the next check.
    PyObject *type, *value, *trace;
    PyErr_Fetch(&type, &value, &trace);
    try {
      bar_.attr("close")();
    } catch (py::error_already_set& e) {
      if (e.matches(PyExc_KeyboardInterrupt)) PyErr_SetInterrupt();
    }
    PyErr_Restore(type, value, trace);
    bar_ = py::object();
    advance_ = py::object();
  }
  void Advance(int64_t n) override {
    py::gil_scoped_acquire acquire;
    advance_(n);
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }

 private:
  py::object bar_, advance_;
};

}  // namespace

void PyReporter::Info(const std::string& message) {
  py::gil_scoped_acquire acquire;
  Logger(module_).attr("info")(message);
}

void PyReporter::Warning(const std::string& message) {
  py::gil_scoped_acquire acquire;
  Logger(module_).attr("warning")(message);
}

void PyReporter::Poll() {
  py::gil_scoped_acquire acquire;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

std::unique_ptr<qaz::Progress> PyReporter::StartProgress(
    const std::string& label, int64_t total) {
  return std::make_unique<PyProgress>(label, total);
}

void RegisterErrorTranslators() {
  py::register_local_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const qaz::IoError& e) {
      errno = e.err();
      PyErr_SetFromErrnoWithFilename(PyExc_OSError, e.path().c_str());
    } catch (const qaz::DecodeError& e) {
      PyObject* err = PyUnicodeDecodeError_Create(
          "utf-8", e.bytes().data(), static_cast<Py_ssize_t>(e.bytes().size()),
          static_cast<Py_ssize_t>(e.start()), static_cast<Py_ssize_t>(e.end()),
          e.reason().c_str());
      if (err != nullptr) {
        PyErr_SetObject(PyExc_UnicodeDecodeError, err);
        Py_DECREF(err);
      }
    } catch (const qaz::TypeError& e) {
      PyErr_SetString(PyExc_TypeError, e.what());
    } catch (const qaz::MemoryError& e) {
      PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const qaz::ZeroDivisionError& e) {
      PyErr_SetString(PyExc_ZeroDivisionError, e.what());
    } catch (const qaz::NotImplementedError&) {
      PyErr_SetNone(PyExc_NotImplementedError);
    }
  });
}

void ThrowExpected(const char* expected, py::handle got) {
  throw py::type_error(std::string("Expected ") + expected + ", got " +
                       TypeName(got));
}

std::string PathArg(py::handle value) {
  if (PyUnicode_Check(value.ptr())) return value.cast<std::string>();
  if (value.is_none() || !PyObject_HasAttrString(value.ptr(), "__fspath__")) {
    throw py::type_error(
        "expected str, bytes or os.PathLike object, not " + TypeName(value));
  }
  return py::str(py::module_::import("os").attr("fspath")(value))
      .cast<std::string>();
}

int32_t Int32Arg(py::handle value) {
  if (!PyLong_Check(value.ptr())) {
    throw py::type_error("an integer is required");
  }
  long long v = PyLong_AsLongLong(value.ptr());
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (v < INT32_MIN || v > INT32_MAX) {
    PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
    throw py::error_already_set();
  }
  return static_cast<int32_t>(v);
}


}  // namespace qaz_py
