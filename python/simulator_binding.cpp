// marlin.Simulator's C++ part: a simulated amplifier in this process.
#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/simulated_amplifier.h"
#include "python/bindings.h"

namespace py = pybind11;

namespace marlin::python {
namespace {

class Simulator {
 public:
  Simulator(const std::string& model, const std::string& route,
            const std::vector<std::string>& faults, double timeScale) {
    if (!(std::isfinite(timeScale) && timeScale > 0)) {
      throw py::value_error("time_scale must be a positive number");
    }
    amp_ = std::make_unique<cli::SimulatedAmplifier>(model, RouteOf(route), faults,
                                                     std::make_shared<RealClock>(timeScale));
  }

  std::string DeviceEntry(const std::string& device, const std::string& description) const {
    return Running().DeviceEntry(device, description);
  }
  std::string Listening() const { return Running().Listening(); }
  std::size_t Clients() const { return Running().Clients(); }
  void Close() {
    py::gil_scoped_release released;
    amp_.reset();
  }

 private:
  static cli::Route RouteOf(const std::string& route) {
    if (route == "lan") return cli::Route::Lan;
    if (route == "visa") return cli::Route::Visa;
    if (route == "gpib") return cli::Route::Gpib;
    throw py::value_error("route \"" + route + "\": expected lan, visa or gpib");
  }
  const cli::SimulatedAmplifier& Running() const {
    if (!amp_) throw py::value_error("the simulator was closed");
    return *amp_;
  }

  std::unique_ptr<cli::SimulatedAmplifier> amp_;
};

}  // namespace

void BindSimulator(py::module_& module) {
  py::class_<Simulator>(module, "Simulator")
      .def(py::init<const std::string&, const std::string&, const std::vector<std::string>&,
                    double>(),
           py::arg("model"), py::arg("route"), py::arg("faults"), py::arg("time_scale"))
      .def("device_entry", &Simulator::DeviceEntry, py::arg("device"), py::arg("description"))
      .def("listening", &Simulator::Listening)
      .def("clients", &Simulator::Clients)
      .def("close", &Simulator::Close);
}

}  // namespace marlin::python
