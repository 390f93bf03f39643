// Pickling glue of the native classes, shared by every module: the restore
// function's argument checks, the layout checksum and its refusal, the state
// in the pair or triple form with the instance dictionary, creating an object
// without running its constructor, and binding __setstate__.
//
// Usage (a restore function unpickle_X(cls, checksum, state)):
//   auto [cls, checksum, state] = pickling::RestoreArgs("unpickle_X", args, kwargs);
//   pickling::CheckStateArg(state);
//   pickling::CheckChecksum(checksum, kLayout, pickling::ChecksumForm::kCInt);
//   py::object obj = pickling::NewWithoutInit<X>(cls);
#ifndef QAZ_BINDINGS_PICKLE_SUPPORT_H_
#define QAZ_BINDINGS_PICKLE_SUPPORT_H_

#include <pybind11/pybind11.h>

#include <array>
#include <string>
#include <typeinfo>
#include <utility>

namespace qaz_py::pickling {

namespace py = pybind11;

// The type name the interpreter prints for `value`.
std::string TypeName(py::handle value);

// The layout of a pickled state: the checksums a restore accepts (the first
// is the one written) and the field names they were computed from, as the
// refusal lists them.
struct Layout {
  long checksums[3];
  const char* fields;
};

// How a restore function reads and words a checksum it refuses.
enum class ChecksumForm {
  // Read as a 32-bit integer (OverflowError "value too large to convert to
  // int32_t"); a negative checksum shows as "-0x1f".
  kInt32,
  // Read as a C int (OverflowError "value too large to convert to int"); the
  // interpreter's "%x" shows a negative checksum as "0x-1f".
  kCInt,
};

// The checksum argument read as `form` says (TypeError, OverflowError).
long long ChecksumArg(py::handle checksum, ChecksumForm form);

// Raises pickle.PickleError("Incompatible checksums (...)") unless `value`
// is one of the layout's.
void RequireKnownChecksum(long long value, const Layout& layout, ChecksumForm form);

// Both of the above.
void CheckChecksum(py::handle checksum, const Layout& layout, ChecksumForm form);

// TypeError unless `state` is a tuple or None.
void CheckStateArg(py::handle state);

// The arguments (cls, checksum, state) of the restore function `name`, by
// position or keyword; TypeError worded as the interpreter words it for any
// other number or an unknown keyword.
std::array<py::object, 3> RestoreArgs(const char* name, const py::args& args,
                                      const py::kwargs& kwargs);

// (restore, (type(self), checksum, state)) or, when `self` has an instance
// dictionary or `any_reference_set`, (restore, (type(self), checksum, None),
// state) with the dictionary appended to the state.
py::tuple Reduce(py::handle self, py::object restore, long checksum,
                 py::tuple state, bool any_reference_set);

// Merges element `index` of a state, when present and true, into the
// instance dictionary of `self` (AttributeError when it has none).
void ApplyDict(py::handle self, const py::tuple& state, size_t index);

// A new object of `cls` whose native part, of the bound class T, is made by
// `make` (a new T) instead of by a constructor of `cls`.  `cls` must be T's
// class or derived from it.
py::object NewWithoutInit(py::handle cls, const std::type_info& native, void* (*make)());
template <typename T>
py::object NewWithoutInit(py::handle cls) {
  return NewWithoutInit(cls, typeid(T), []() -> void* { return new T(); });
}

// pybind11 treats a method *named* __setstate__ as a constructor and skips
// it on an object that already exists, which is how pickle calls it; so the
// method is bound under another name and stored as __setstate__ afterwards.
//
// Stores the already bound method `name` of `type` also as __setstate__.
void AliasSetState(py::handle type, const char* name);

// Binds `f` as __setstate__ of `cls` only, its function name being `name`.
template <typename Class, typename F, typename... Extra>
void DefSetState(Class& cls, const char* name, F&& f, const Extra&... extra) {
  cls.attr("__setstate__") = py::cpp_function(std::forward<F>(f), py::name(name),
                                              py::is_method(cls), extra...);
}

}  // namespace qaz_py::pickling

#endif  // QAZ_BINDINGS_PICKLE_SUPPORT_H_
