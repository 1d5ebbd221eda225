#pragma once
// The parts of marlin._native, each binding its classes into the module.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

namespace marlin::python {

// Raises the module's Failure with (kind, number, description); the package turns it into the
// exception a script sees.
[[noreturn]] void RaiseFailure(const char* kind, std::int32_t number, const std::string& text);
// Raises the Failure for the exception being handled: a driver error or a host failure.
[[noreturn]] void RaiseCurrentFailure();

void BindAmplifier(pybind11::module_& module);
void BindSimulator(pybind11::module_& module);

}  // namespace marlin::python
