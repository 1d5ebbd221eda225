#pragma once
// The connection check: opens or closes the route, identifies the instrument, and accepts it or
// not. It absorbs its own errors; the outcome is left in Status and the identification fields.
#include <functional>
#include <string>

namespace marlin {

class clsMarlin;
class Procedure;
class Route;

// Error 4012 gives up the GPIB session at once.
struct GiveUp {};

class ConnectionCheck {
 public:
  ConnectionCheck(clsMarlin& m, Procedure& proc) : m_(m), proc_(proc) {}

  void Disconnect();
  void Connect();

  // Runs one step under the absorbing handler; false when it raised.
  bool Attempt(const std::function<void()>& work);
  // Not connected: the route's connection is closed.
  void Fail();
  // Not connected, while the route closes what it opened itself.
  void Refuse();
  // Sets the model flags from an identification answer; they only ever accumulate. False when
  // the answer names no model.
  bool Recognise(const std::string& answer);
  // Takes the identification answer, or fails the check when it names neither maker nor family.
  void Accept(const std::string& answer);

 private:
  clsMarlin& m_;
  Procedure& proc_;
  Route* route_ = nullptr;
};

}  // namespace marlin
