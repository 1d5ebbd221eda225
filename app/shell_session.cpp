#include "app/shell_session.h"

#include <utility>

#include "app/shell_printer.h"
#include "driver/cls_marlin.h"
#include "driver/marlin_error.h"
#include "host/thread_host.h"

namespace marlin::cli {
namespace {

ShellValue PropertyValue(clsMarlin& amp, DeviceProperty property) {
  switch (property) {
    case DeviceProperty::Name:
      return amp.clsDevice_Name();
    case DeviceProperty::Description:
      return amp.clsDevice_Description();
    case DeviceProperty::DeviceType:
      return amp.clsDevice_DeviceType();
    case DeviceProperty::Interface:
      return std::int64_t{amp.clsDevice_Interface()};
    case DeviceProperty::Address:
      return std::int64_t{amp.clsDevice_Address()};
    case DeviceProperty::Status:
      return std::int64_t{amp.clsDevice_Status()};
    case DeviceProperty::Info: {
      const InfoRecord info = amp.clsDevice_Info();
      return std::vector<std::string>{info.Member1, info.Member2, info.Member3, info.Member4};
    }
    case DeviceProperty::MaxFrequency:
      return amp.clsDevice_MaxFrequency();
    case DeviceProperty::MinFrequency:
      return amp.clsDevice_MinFrequency();
  }
  throw MarlinError(kSyntaxErrorNumber, "unknown property");
}

}  // namespace

ShellSession::ShellSession() : amp_(std::make_unique<clsMarlin>(host::ThreadContext())) {}

ShellSession::~ShellSession() { Release(); }

void ShellSession::Release() { amp_.reset(); }

clsMarlin& ShellSession::Current() {
  if (!amp_) {
    throw MarlinError(kSyntaxErrorNumber, "there is no driver object after release; send new");
  }
  return *amp_;
}

ShellResult ShellSession::Run(const ShellCommand& command) {
  try {
    return Call(command);
  } catch (...) {
    const MarlinError error = CurrentError();
    return ShellError{error.Number(), error.Description()};
  }
}

ShellValue ShellSession::Call(const ShellCommand& command) {
  switch (command.verb) {
    case ShellVerb::New: {
      // As a host assigning a new object: the new one exists before the old one goes.
      auto fresh = std::make_unique<clsMarlin>(host::ThreadContext());
      std::swap(amp_, fresh);
      return {};
    }
    case ShellVerb::Release:
      Current();
      Release();
      return {};
    case ShellVerb::Quit:
      finished_ = true;
      return {};
    case ShellVerb::Name:
      Current().clsDevice_Name_Let(command.text);
      return {};
    case ShellVerb::Status:
      Current().clsDevice_Status_Let(command.number);
      return {};
    case ShellVerb::Check:
      Current().clsDevice_Check();
      return {};
    case ShellVerb::Initialize:
      Current().clsDevice_Initialize();
      return {};
    case ShellVerb::Get:
      return PropertyValue(Current(), command.property);
    case ShellVerb::Interfaces:
      return Current().clsDevice_GetInterfaces(command.text);
    case ShellVerb::AmplParams: {
      AmplParamsRecord record;
      record.BandPath = command.params.bandPath;
      record.OutputMode = command.params.outputMode;
      record.OperatingClass = command.params.operatingClass;
      Current().clsIAmpRemote_AmplParams_Let(record);
      return {};
    }
    case ShellVerb::SetState:
      Current().clsIAmpRemote_SetState(command.number);
      return {};
    case ShellVerb::GetState:
      return std::int64_t{Current().clsIAmpRemote_GetState()};
    case ShellVerb::ResetFault:
      Current().clsIAmpRemote_ResetFault();
      return {};
    case ShellVerb::CheckForError:
      return Current().clsIAmpRemoteExt_CheckForError();
    case ShellVerb::Params:
      Current().clsIAmpRemote_GetParametersFromDevList();
      return {};
  }
  throw MarlinError(kSyntaxErrorNumber, "unknown command");
}

}  // namespace marlin::cli
