// marlin._native: what the marlin package needs from C++ (python/marlin/ is the rest).
#include <pybind11/pybind11.h>

#include <stdexcept>

#include "app/exit_codes.h"
#include "driver/marlin_error.h"
#include "python/bindings.h"

namespace py = pybind11;

namespace marlin::python {
namespace {

PyObject* failureType = nullptr;

}  // namespace

void RaiseFailure(const char* kind, std::int32_t number, const std::string& text) {
  PyErr_SetObject(failureType, py::make_tuple(kind, number, text).ptr());
  throw py::error_already_set();
}

void RaiseCurrentFailure() {
  try {
    throw;
  } catch (const cli::CliFailure& e) {
    RaiseFailure("host", 0, e.what());
  } catch (...) {
    const MarlinError e = CurrentError();
    RaiseFailure("driver", e.Number(), e.Description());
  }
}

}  // namespace marlin::python

PYBIND11_MODULE(_native, m) {
  static py::exception<std::runtime_error> failure(m, "Failure");
  marlin::python::failureType = failure.ptr();
  marlin::python::BindAmplifier(m);
  marlin::python::BindSimulator(m);
}
