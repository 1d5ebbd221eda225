#include "app/panel/panel_json.h"

#include <chrono>

#include "app/json_text.h"
#include "text/quoted_string.h"

namespace marlin::panel {
namespace {

using cli::JsonNumber;
using text::JsonString;

std::string Field(const char* name, const std::string& json) {
  return JsonString(name) + ":" + json;
}

std::string Milliseconds(Clock::Duration span) {
  return JsonNumber(std::chrono::duration<double, std::milli>(span).count());
}

std::string Number(const std::optional<std::int32_t>& value) {
  return value ? std::to_string(*value) : "null";
}

std::string Text(const std::string& value) { return value.empty() ? "null" : JsonString(value); }

std::string ErrorObject(const std::optional<ErrorInfo>& error) {
  if (!error) return "null";
  return "{" + Field("number", std::to_string(error->number)) + "," +
         Field("text", JsonString(error->innermost)) + "," +
         Field("description", JsonString(error->description)) + "," +
         Field("at", JsonString(error->at)) + "}";
}

std::string WaitObject(const cli::WaitActivity& activity) {
  return "{" + Field("what", JsonString(activity.what)) + "," +
         Field("elapsedMs", Milliseconds(activity.elapsed)) + "," +
         Field("limitMs", activity.limit ? Milliseconds(*activity.limit) : "null") + "}";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string DeviceJson(const DeviceView& v) {
  const WaitWindowState& w = v.window;
  return "{" + Field("name", JsonString(v.name)) + "," +
         Field("description", JsonString(v.description)) + "," +
         Field("interface", std::to_string(v.interfaceCode)) + "," +
         Field("route", JsonString(v.route)) + "," +
         Field("status", std::to_string(v.connected ? 1 : 0)) + "," +
         Field("connected", Bool(v.connected)) + "," + Field("linkLost", Bool(v.linkLost)) + "," +
         Field("identification", JsonString(v.identity.Text())) + "," +
         Field("serial", Text(v.identity.serial)) + "," + Field("model", JsonString(v.model)) +
         "," + Field("firmware", JsonNumber(v.firmware)) + "," + Field("state", Number(v.state)) +
         "," + Field("bandPath", Number(v.bandPath)) + "," + Field("fault", Text(v.fault)) + "," +
         Field("readAt", Text(v.stateAt)) + "," + Field("lastError", ErrorObject(v.lastError)) +
         "," +
         Field("inputs", "{" + Field("bandpath", Number(v.inputs.bandPath)) + "," +
                             Field("outputmode", std::to_string(v.inputs.outputMode)) + "," +
                             Field("operatingclass", std::to_string(v.inputs.operatingClass)) +
                             "}") +
         "," + Field("busy", Bool(v.busy)) + "," +
         Field("action", v.action.empty() ? "null" : JsonString(v.action)) + "," +
         Field("wait", v.wait ? WaitObject(*v.wait) : "null") + "," +
         Field("window", "{" + Field("visible", Bool(w.visible)) + "," +
                             Field("caption", JsonString(w.caption)) + "," +
                             Field("label", JsonString(w.label)) + "," +
                             Field("colour", std::to_string(w.colour)) + "," +
                             Field("stop", JsonString(w.stopCaption)) + "}") +
         "}";
}

std::string WaitJson(const std::string& device, const std::string& phase,
                     const cli::WaitActivity& activity) {
  return "{" + Field("device", JsonString(device)) + "," + Field("phase", JsonString(phase)) + "," +
         Field("wait", WaitObject(activity)) + "}";
}

std::string OutcomeJson(const std::string& device, ActionKind kind, const ActionOutcome& outcome) {
  std::string json = "{" + Field("device", JsonString(device)) + "," +
                     Field("action", JsonString(ActionWord(kind))) + "," +
                     Field("at", JsonString(outcome.at)) + "," +
                     Field("connected", Bool(outcome.connected)) + "," +
                     Field("state", Number(outcome.state)) + "," +
                     Field("bandPath", Number(outcome.bandPath)) + ",";
  if (outcome.error) return json + Field("error", ErrorObject(outcome.error)) + "}";
  json += Field("ok", "true");
  if (!outcome.note.empty()) json += "," + Field("note", JsonString(outcome.note));
  if (kind == ActionKind::ReadErrors) {
    json += "," + Field("errors", cli::JsonArray(outcome.errors)) + "," +
            Field("more", Bool(outcome.errorsLeft)) + "," +
            Field("repeats", Bool(outcome.errorRepeats));
  }
  return json + "}";
}

std::string JsonList(const std::vector<std::string>& values) {
  std::string json = "[";
  for (const std::string& value : values) json += (json.size() > 1 ? "," : "") + value;
  return json + "]";
}

std::string RefusalJson(const std::string& message) {
  return "{" + Field("message", JsonString(message)) + "}";
}

std::string NotConnectedJson(const std::string& device) {
  const std::string text = JsonString(device + " is not connected");
  return "{" + Field("message", text) + "," + Field("error", text) + "}";
}

}  // namespace marlin::panel
