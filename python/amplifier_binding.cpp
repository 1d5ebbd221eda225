// marlin.Amplifier's C++ part. A call returns at once with a handle; the package waits on it
// in short steps (without the interpreter lock), passes on the waits reported meanwhile and
// asks for a stop when Ctrl-C or a callback raises, so signals and callbacks run on the
// caller's own thread.
#include <pybind11/stl.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/amplifier_session.h"
#include "driver/marlin_error.h"
#include "python/amplifier_thread.h"
#include "python/bindings.h"
#include "python/session_calls.h"

namespace py = pybind11;

namespace marlin::python {
namespace {

using Amp = cli::AmplifierSession;
using Result = std::variant<std::monostate, std::int32_t, Identification, std::vector<std::string>>;

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
    } catch (...) {
      RaiseCurrentFailure();
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
      RaiseCurrentFailure();
    }
  }

  PendingCall Connect() {
    return Start([](Amp& a, Result&) { a.Connect(); });
  }
  PendingCall Disconnect() {
    return Start([](Amp& a, Result&) { a.Disconnect(); });
  }
  PendingCall Identify() {
    return Start([](Amp& a, Result& r) { r = python::Identify(a); });
  }
  PendingCall State() {
    return Start([](Amp& a, Result& r) {
      RequireConnection(a);
      r = a.State();
    });
  }
  PendingCall SetState(std::int32_t state, std::optional<std::int32_t> band, std::int32_t mode,
                       std::int32_t operatingClass) {
    return Start([request = Switch(state, band, mode, operatingClass)](Amp& a, Result&) {
      RequireConnection(a);
      a.SetState(request);
    });
  }
  PendingCall ResetFault() {
    return Start([](Amp& a, Result&) {
      RequireConnection(a);
      a.ResetFault();
    });
  }
  PendingCall Initialize() {
    return Start([](Amp& a, Result&) {
      RequireConnection(a);
      a.Initialize();
    });
  }
  PendingCall Errors(std::int32_t most) {
    return Start([most](Amp& a, Result& r) { r = python::Errors(a, most); });
  }

  // Disconnects and ends the amplifier's thread.
  void Close() {
    std::shared_ptr<AmplifierThread> ending = std::move(thread_);
    py::gil_scoped_release released;
    ending.reset();
  }

 private:
  template <typename Work>
  PendingCall Start(Work work) {
    if (!thread_) RaiseFailure("closed", 0, "the amplifier was closed");
    auto result = std::make_shared<Result>();
    AmplifierThread::Call call =
        thread_->Submit([work = std::move(work), result](Amp& session) { work(session, *result); });
    return PendingCall(thread_, std::move(call), result);
  }

  std::shared_ptr<AmplifierThread> thread_;
};

}  // namespace

void BindAmplifier(py::module_& module) {
  py::class_<PendingCall>(module, "PendingCall")
      .def("wait", &PendingCall::Wait, py::arg("seconds"))
      .def("stop", &PendingCall::Stop)
      .def("wait_events", &PendingCall::WaitEvents)
      .def("outcome", &PendingCall::Outcome);
  py::class_<Session>(module, "Session")
      .def(py::init<const std::string&, std::optional<std::string>, const std::string&, double>(),
           py::arg("device"), py::arg("devices"), py::arg("trace"), py::arg("time_scale"))
      .def("close", &Session::Close)
      .def("connect", &Session::Connect)
      .def("disconnect", &Session::Disconnect)
      .def("identify", &Session::Identify)
      .def("state", &Session::State)
      .def("set_state", &Session::SetState)
      .def("reset_fault", &Session::ResetFault)
      .def("initialize", &Session::Initialize)
      .def("errors", &Session::Errors);
}

}  // namespace marlin::python
