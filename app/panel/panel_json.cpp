#include "app/panel/panel_json.h"

#include <chrono>

#include "text/json_writer.h"

namespace marlin::panel {
namespace {

using text::JsonObject;

double Milliseconds(Clock::Duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

// Empty text is written as null.
JsonObject& TextOrNull(JsonObject& json, const char* key, const std::string& value) {
  return value.empty() ? json.Null(key) : json.Text(key, value);
}

std::string ErrorObject(const std::optional<ErrorInfo>& error) {
  if (!error) return "null";
  return JsonObject()
      .Number("number", error->number)
      .Text("text", error->innermost)
      .Text("description", error->description)
      .Text("at", error->at)
      .Line();
}

std::string WaitObject(const cli::WaitActivity& activity) {
  JsonObject json;
  json.Text("what", activity.what).Decimal("elapsedMs", Milliseconds(activity.elapsed));
  if (activity.limit) return json.Decimal("limitMs", Milliseconds(*activity.limit)).Line();
  return json.Null("limitMs").Line();
}

std::string InputsObject(const Inputs& inputs) {
  return JsonObject()
      .Number("bandpath", inputs.bandPath)
      .Number("outputmode", inputs.outputMode)
      .Number("operatingclass", inputs.operatingClass)
      .Line();
}

std::string WindowObject(const WaitWindowState& w) {
  return JsonObject()
      .Boolean("visible", w.visible)
      .Text("caption", w.caption)
      .Text("label", w.label)
      .Number("colour", w.colour)
      .Text("stop", w.stopCaption)
      .Line();
}

}  // namespace

std::string DeviceJson(const DeviceView& v) {
  JsonObject json;
  json.Text("name", v.name)
      .Text("description", v.description)
      .Number("interface", v.interfaceCode)
      .Text("route", v.route)
      .Number("status", v.connected ? 1 : 0)
      .Boolean("connected", v.connected)
      .Boolean("linkLost", v.linkLost)
      .Text("identification", v.identity.Text());
  TextOrNull(json, "serial", v.identity.serial)
      .Text("model", v.model)
      .Decimal("firmware", v.firmware)
      .Number("state", v.state)
      .Number("bandPath", v.bandPath);
  TextOrNull(json, "fault", v.fault);
  TextOrNull(json, "readAt", v.stateAt)
      .Json("lastError", ErrorObject(v.lastError))
      .Json("inputs", InputsObject(v.inputs))
      .Boolean("busy", v.busy);
  TextOrNull(json, "action", v.action)
      .Json("wait", v.wait ? WaitObject(*v.wait) : "null")
      .Json("window", WindowObject(v.window));
  return json.Line();
}

std::string WaitJson(const std::string& device, const std::string& phase,
                     const cli::WaitActivity& activity) {
  return JsonObject()
      .Text("device", device)
      .Text("phase", phase)
      .Json("wait", WaitObject(activity))
      .Line();
}

std::string OutcomeJson(const std::string& device, ActionKind kind, const ActionOutcome& outcome) {
  JsonObject json;
  json.Text("device", device)
      .Text("action", ActionWord(kind))
      .Text("at", outcome.at)
      .Boolean("connected", outcome.connected)
      .Number("state", outcome.state)
      .Number("bandPath", outcome.bandPath);
  if (outcome.error) return json.Json("error", ErrorObject(outcome.error)).Line();
  json.Boolean("ok", true);
  if (!outcome.note.empty()) json.Text("note", outcome.note);
  if (kind == ActionKind::ReadErrors) {
    json.Json("errors", text::JsonArray(outcome.errors))
        .Boolean("more", outcome.errorsLeft)
        .Boolean("repeats", outcome.errorRepeats);
  }
  return json.Line();
}

std::string RefusalJson(const std::string& message) {
  return JsonObject().Text("message", message).Line();
}

std::string NotConnectedJson(const std::string& device) {
  const std::string text = device + " is not connected";
  return JsonObject().Text("message", text).Text("error", text).Line();
}

}  // namespace marlin::panel
