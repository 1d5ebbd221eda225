// marlin._native: what the marlin package needs from C++. Calls on an amplifier return at
// once with a handle; the package waits on it in short steps (without the interpreter lock),
// passes on the waits reported meanwhile and asks for a stop when Ctrl-C or a callback
// raises, so signals and callbacks run on the caller's own thread.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/amplifier_session.h"
#include "app/exit_codes.h"
#include "app/simulated_amplifier.h"
#include "driver/marlin_error.h"
#include "python/amplifier_thread.h"
#include "python/session_calls.h"

namespace py = pybind11;

namespace marlin::python {
namespace {

using Result = std::variant<std::monostate, std::int32_t, Identification, std::vector<std::string>>;

// Raised by PendingCall.result(); the package turns its arguments (kind, number, description)
// into the exception a script sees.
PyObject* failureType = nullptr;

[[noreturn]] void RaiseFailure(const char* kind, std::int32_t number, const std::string& text) {
  PyErr_SetObject(failureType, py::make_tuple(kind, number, text).ptr());
  throw py::error_already_set();
}

class PendingCall {
 public:
  PendingCall(std::shared_ptr<AmplifierThread> thread, AmplifierThread::Call call,
              std::shared_ptr<Result> result)
      : thread_(std::move(thread)), call_(std::move(call)), result_(std::move(result)) {}

  // Whether the call has ended, after waiting at most `seconds` (without the interpreter lock).
  bool Wait(double seconds) {
    py::gil_scoped_release released;
    return call_.done.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
  }
  void Stop() { thread_->Stop(call_); }
  // (what, elapsed seconds, limit seconds or None) of each wait reported since the last look.
  std::vector<py::tuple> WaitEvents() {
    std::vector<py::tuple> events;
    for (WaitEvent& event : thread_->TakeWaitEvents()) {
      events.push_back(py::make_tuple(
          event.what, event.elapsedSeconds,
          event.limitSeconds ? py::cast(*event.limitSeconds) : py::object(py::none())));
    }
    return events;
  }
  py::object Outcome() {
    try {
      call_.done.get();
    } catch (const cli::NotConnected& e) {
      RaiseFailure("not-connected", e.Number(), e.Description());
    } catch (const cli::CliFailure& e) {
      RaiseFailure("host", 0, e.what());
    } catch (...) {
      const MarlinError e = CurrentError();
      RaiseFailure("driver", e.Number(), e.Description());
    }
    return std::visit(
        [](const auto& value) -> py::object {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::monostate>) {
            return py::none();
          } else if constexpr (std::is_same_v<T, Identification>) {
            return py::make_tuple(value.identification, value.serial, value.firmware, value.model);
          } else {
            return py::cast(value);
          }
        },
        *result_);
  }

 private:
  std::shared_ptr<AmplifierThread> thread_;
  AmplifierThread::Call call_;
  std::shared_ptr<Result> result_;
};

class Session {
 public:
  Session(const std::string& device, std::optional<std::string> devices, const std::string& trace,
          double timeScale) {
    AmplifierOptions options{device, std::move(devices), trace, timeScale};
    py::gil_scoped_release released;
    try {
      thread_ = std::make_shared<AmplifierThread>(options);
    } catch (...) {
      py::gil_scoped_acquire held;
      Translate();
    }
  }

  template <typename Work>
  PendingCall Start(Work work) {
    if (!thread_) RaiseFailure("closed", 0, "the amplifier was closed");
    auto result = std::make_shared<Result>();
    AmplifierThread::Call call =
        thread_->Submit([work = std::move(work), result](cli::AmplifierSession& session) {
          work(session, *result);
        });
    return PendingCall(thread_, std::move(call), result);
  }

  // Disconnects and ends the amplifier's thread.
  void Close() {
    std::shared_ptr<AmplifierThread> ending = std::move(thread_);
    py::gil_scoped_release released;
    ending.reset();
  }

 private:
  [[noreturn]] static void Translate() {
    try {
      throw;
    } catch (const cli::CliFailure& e) {
      RaiseFailure("host", 0, e.what());
    } catch (...) {
      const MarlinError e = CurrentError();
      RaiseFailure("driver", e.Number(), e.Description());
    }
  }

  std::shared_ptr<AmplifierThread> thread_;
};

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
}  // namespace marlin::python

PYBIND11_MODULE(_native, m) {
  using namespace marlin::python;
  using marlin::python::Session;
  using Amp = marlin::cli::AmplifierSession;

  static py::exception<std::runtime_error> failure(m, "Failure");
  failureType = failure.ptr();

  py::class_<PendingCall>(m, "PendingCall")
      .def("wait", &PendingCall::Wait, py::arg("seconds"))
      .def("stop", &PendingCall::Stop)
      .def("wait_events", &PendingCall::WaitEvents)
      .def("outcome", &PendingCall::Outcome);

  py::class_<Session>(m, "Session")
      .def(py::init<const std::string&, std::optional<std::string>, const std::string&, double>(),
           py::arg("device"), py::arg("devices"), py::arg("trace"), py::arg("time_scale"))
      .def("close", &Session::Close)
      .def("connect", [](Session& s) { return s.Start([](Amp& a, Result&) { a.Connect(); }); })
      .def("disconnect",
           [](Session& s) { return s.Start([](Amp& a, Result&) { a.Disconnect(); }); })
      .def("identify",
           [](Session& s) { return s.Start([](Amp& a, Result& r) { r = Identify(a); }); })
      .def("state",
           [](Session& s) {
             return s.Start([](Amp& a, Result& r) {
               RequireConnection(a);
               r = a.State();
             });
           })
      .def("set_state",
           [](Session& s, std::int32_t state, std::optional<std::int32_t> band, std::int32_t mode,
              std::int32_t operatingClass) {
             return s.Start([request = Switch(state, band, mode, operatingClass)](Amp& a, Result&) {
               RequireConnection(a);
               a.SetState(request);
             });
           })
      .def("reset_fault",
           [](Session& s) {
             return s.Start([](Amp& a, Result&) {
               RequireConnection(a);
               a.ResetFault();
             });
           })
      .def("initialize",
           [](Session& s) {
             return s.Start([](Amp& a, Result&) {
               RequireConnection(a);
               a.Initialize();
             });
           })
      .def("errors", [](Session& s, std::int32_t most) {
        return s.Start([most](Amp& a, Result& r) { r = Errors(a, most); });
      });

  py::class_<marlin::python::Simulator>(m, "Simulator")
      .def(py::init<const std::string&, const std::string&, const std::vector<std::string>&,
                    double>(),
           py::arg("model"), py::arg("route"), py::arg("faults"), py::arg("time_scale"))
      .def("device_entry", &marlin::python::Simulator::DeviceEntry, py::arg("device"),
           py::arg("description"))
      .def("listening", &marlin::python::Simulator::Listening)
      .def("clients", &marlin::python::Simulator::Clients)
      .def("close", &marlin::python::Simulator::Close);
}
