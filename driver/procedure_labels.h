#pragma once
// The trace labels and error description forms of every traced procedure, kept in one place.

namespace marlin {

enum class ErrorForm {
  Plain,                  // the caught description unchanged
  Prefixed,               // "Marlin Amplifier-" + Name + description
  PrefixedWithSeparator,  // "Marlin Amplifier-" + Name + ": " + description
  Own,                    // the procedure absorbs its errors itself
};

struct ProcedureLabel {
  const char* start;
  const char* end;
  ErrorForm form;
};

namespace labels {
inline constexpr ProcedureLabel kLetName{"Let clsDevice_Name", "Let clsDevice_Name",
                                         ErrorForm::Plain};
inline constexpr ProcedureLabel kLetStatus{"Let clsDevice_Status", "Let clsDevice_Status",
                                           ErrorForm::Plain};
inline constexpr ProcedureLabel kInitialize{"clsDevice_Initialize", "clsDevice_Initialize",
                                            ErrorForm::Prefixed};
inline constexpr ProcedureLabel kCheck{"clsDevice_Check", "clsDevice_Check", ErrorForm::Plain};
inline constexpr ProcedureLabel kGetParametersFromDevList{
    "clsIAmpRemote_GetParametersFromDevList", "clsIAmpRemote_GetParametersFromDeviceList",
    ErrorForm::Plain};
inline constexpr ProcedureLabel kSetState{"clsIAmpRemote_SetState", "clsIAmpRemote_SetState",
                                          ErrorForm::Plain};
inline constexpr ProcedureLabel kRemoteResetFault{"clsIAmpRemote_ResetFault",
                                                  "clsIAmpRemote_ResetFault", ErrorForm::Plain};
inline constexpr ProcedureLabel kRemoteGetState{"clsIAmpRemote_GetState", "clsIAmpRemote_GetState",
                                                ErrorForm::Plain};
inline constexpr ProcedureLabel kCheckForError{"clsIAmpRemoteExt_CheckForError",
                                               "clsIAmpRemoteExt_CheckForError", ErrorForm::Plain};
inline constexpr ProcedureLabel kCheckDevicePhysical{"CheckDevicePhysical", "CheckDevicePhysical",
                                                     ErrorForm::Own};
inline constexpr ProcedureLabel kGetState{"GetState", "GetState", ErrorForm::Own};
inline constexpr ProcedureLabel kInitDevice{"InitDevice", "InitDevice", ErrorForm::Prefixed};
inline constexpr ProcedureLabel kResetFault{"ResetFault", "ResetFault",
                                            ErrorForm::PrefixedWithSeparator};
inline constexpr ProcedureLabel kSetNewState{"SetNewState", "SetNewState",
                                             ErrorForm::PrefixedWithSeparator};
inline constexpr ProcedureLabel kActivateBand{"ActivateBand", "ActivateBand", ErrorForm::Prefixed};
inline constexpr ProcedureLabel kWaitForComplete{"WaitForComplete", "WaitForComplete",
                                                 ErrorForm::PrefixedWithSeparator};
inline constexpr ProcedureLabel kSendCmdString{"SendCmdString", "SendCmdString",
                                               ErrorForm::PrefixedWithSeparator};
inline constexpr ProcedureLabel kReadCmdResponse{"ReadCmdResponse", "ReadCmdResponse",
                                                 ErrorForm::PrefixedWithSeparator};
}  // namespace labels

// Texts of the trace lines and error descriptions.
namespace trace_text {
inline constexpr const char* kStart = "start";
inline constexpr const char* kEnd = "end";
inline constexpr const char* kComponent = "Telvar_Amplifier";
inline constexpr const char* kClass = "clsMarlin";
inline constexpr const char* kDevicePrefix = "Marlin Amplifier-";
inline constexpr const char* kSeparator = ": ";
inline constexpr const char* kNewState = "NewState = ";
inline constexpr const char* kCommand = "Command = ";
}  // namespace trace_text

}  // namespace marlin
