#include "pickle_support.h"

#include <cstdio>
#include <limits>

namespace qaz_py::pickling {

std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

namespace {

[[noreturn]] void RaiseOverflow(const char* message) {
  PyErr_SetString(PyExc_OverflowError, message);
  throw py::error_already_set();
}

}  // namespace

long long ChecksumArg(py::handle checksum, ChecksumForm form) {
  long long value;
  if (form == ChecksumForm::kInt32) {
    value = PyLong_AsLongLong(checksum.ptr());
    if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
      RaiseOverflow("value too large to convert to int32_t");
    }
  } else {
    value = PyLong_AsLong(checksum.ptr());
    if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (value > 0x7fffffffL || value < -0x7fffffffL - 1) {
      RaiseOverflow("value too large to convert to int");
    }
  }
  return value;
}

void RequireKnownChecksum(long long value, const Layout& layout, ChecksumForm form) {
  const long* accepted = layout.checksums;
  for (int k = 0; k < 3; ++k) {
    if (value == accepted[k]) return;
  }
  py::object error = py::module_::import("pickle").attr("PickleError");
  if (form == ChecksumForm::kCInt) {
    py::str message = py::str("Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))")
                          .attr("__mod__")(py::make_tuple(value, accepted[0], accepted[1],
                                                          accepted[2], layout.fields));
    PyErr_SetObject(error.ptr(), message.ptr());
    throw py::error_already_set();
  }
  char buf[512];
  if (value < 0) {
    std::snprintf(buf, sizeof(buf),
                  "Incompatible checksums (-0x%llx vs (0x%lx, 0x%lx, 0x%lx) = (%s))",
                  static_cast<unsigned long long>(-value), accepted[0], accepted[1],
                  accepted[2], layout.fields);
  } else {
    std::snprintf(buf, sizeof(buf),
                  "Incompatible checksums (0x%llx vs (0x%lx, 0x%lx, 0x%lx) = (%s))",
                  static_cast<unsigned long long>(value), accepted[0], accepted[1],
                  accepted[2], layout.fields);
  }
  PyErr_SetString(error.ptr(), buf);
  throw py::error_already_set();
}

void CheckChecksum(py::handle checksum, const Layout& layout, ChecksumForm form) {
  RequireKnownChecksum(ChecksumArg(checksum, form), layout, form);
}

void CheckStateArg(py::handle state) {
  if (!state.is_none() && !PyTuple_Check(state.ptr())) {
    throw py::type_error("Argument 'state' has incorrect type (expected tuple, got " +
                         TypeName(state) + ")");
  }
}

std::array<py::object, 3> RestoreArgs(const char* name, const py::args& args,
                                      const py::kwargs& kwargs) {
  static const char* const names[3] = {"cls", "checksum", "state"};
  std::array<py::object, 3> arg;
  const size_t given = args.size() + kwargs.size();
  if (args.size() > 3 || given != 3) {
    throw py::type_error(std::string(name) + "() takes exactly 3 positional arguments (" +
                         std::to_string(given) + " given)");
  }
  for (size_t i = 0; i < args.size(); ++i) arg[i] = args[i];
  for (auto kv : kwargs) {
    const std::string key = py::str(kv.first);
    size_t i = 0;
    while (i < 3 && key != names[i]) ++i;
    if (i == 3 || arg[i]) {
      throw py::type_error(std::string(name) + "() got an unexpected keyword argument '" +
                           key + "'");
    }
    arg[i] = py::reinterpret_borrow<py::object>(kv.second);
  }
  return arg;
}

py::tuple Reduce(py::handle self, py::object restore, long checksum, py::tuple state,
                 bool any_reference_set) {
  py::object cls = py::reinterpret_borrow<py::object>(py::type::handle_of(self));
  py::object dict = py::getattr(self, "__dict__", py::none());
  if (!dict.is_none()) {
    state = py::reinterpret_steal<py::tuple>(
        PySequence_Concat(state.ptr(), py::make_tuple(dict).ptr()));
    if (!state) throw py::error_already_set();
  }
  if (!dict.is_none() || any_reference_set) {
    return py::make_tuple(restore, py::make_tuple(cls, checksum, py::none()), state);
  }
  return py::make_tuple(restore, py::make_tuple(cls, checksum, state));
}

void ApplyDict(py::handle self, const py::tuple& state, size_t index) {
  if (state.size() <= index) return;
  py::object extra = state[index];
  const int truth = PyObject_IsTrue(extra.ptr());
  if (truth < 0) throw py::error_already_set();
  if (truth == 0) return;
  py::getattr(self, "__dict__").attr("update")(extra);
}

py::object NewWithoutInit(py::handle cls, const std::type_info& native, void* (*make)()) {
  auto* type = reinterpret_cast<PyTypeObject*>(cls.ptr());
  py::tuple no_args;
  PyObject* raw = type->tp_new(type, no_args.ptr(), nullptr);
  if (raw == nullptr) throw py::error_already_set();
  py::object obj = py::reinterpret_steal<py::object>(raw);
  auto* inst = reinterpret_cast<py::detail::instance*>(raw);
  auto v_h = inst->get_value_and_holder(py::detail::get_type_info(native));
  v_h.value_ptr() = make();
  v_h.type->init_instance(inst, nullptr);
  return obj;
}

void AliasSetState(py::handle type, const char* name) {
  type.attr("__setstate__") = type.attr("__dict__")[name];
}

}  // namespace qaz_py::pickling
