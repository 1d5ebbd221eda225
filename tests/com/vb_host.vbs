' A script host drives the server through late binding, as a VB host's Object variable does:
' every member of the three host interfaces by name on the one object. Runs under wine's cscript
' against marlin-sim (PA4400, power on, band path 2) named in MARLIN_DEVICES.
'
'   cscript //nologo vb_host.vbs DEVICE
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Expect(ok, what, detail)
  If ok Then
    passed = passed + 1
    WScript.Echo "ok   " & what
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & what & ": " & detail
  End If
End Sub

Sub Equal(actual, expected, what)
  Expect actual = expected, what, "got [" & actual & "], expected [" & expected & "]"
End Sub

' The call just made succeeded; otherwise its error number and description are shown (a member
' whose behaviour has not landed says "... is not available yet", error 445).
Sub Called(what)
  Expect Err.Number = 0, what, "error " & Err.Number & ": " & Err.Description
  Err.Clear
End Sub

If WScript.Arguments.Count <> 1 Then
  WScript.Echo "usage: cscript //nologo vb_host.vbs DEVICE"
  WScript.Quit 2
End If
Dim device, amp, state, entry
device = WScript.Arguments(0)

On Error Resume Next
Set amp = CreateObject("Telvar_Marlin.clsMarlin")
Called "CreateObject by ProgID"
If amp Is Nothing Then
  WScript.Echo "vb_host: " & passed & " passed, " & (failed + 1) & " failed"
  WScript.Quit 1
End If

Equal amp.DeviceType, "PA4400 Amplifier", "DeviceType at creation"
Equal amp.clsDevice_Address, 7, "the default interface's clsDevice_Address"
Equal amp.Status, 0, "Status at creation"

amp.Name = device
Called "Name let"
Equal amp.Interface, 50, "the device list's interface code"

amp.Status = 1
Called "Status let 1"
amp.Check
Called "Check (connect)"
Equal amp.Status, 1, "Status after connecting"
amp.Initialize
Called "Initialize"

amp.SetState 3
Called "SetState Operate on the band path the amplifier has"
state = amp.GetState
Called "GetState"
Equal state, 3, "GetState after Operate"
entry = amp.CheckForError
Called "CheckForError"
Equal entry, "", "an empty error queue reads as the empty text"
amp.SetState 2
Called "SetState Standby"
Equal amp.GetState, 2, "GetState after Standby"

amp.Status = 0
amp.Check
Called "Check (disconnect)"
Equal amp.Status, 0, "Status after disconnecting"

' Disconnected: SetState refuses at once with 4040 and sends nothing.
amp.SetState 3
Equal Err.Number, 4040, "a failing SetState's Err.Number"
Equal Err.Description, "Marlin Amplifier-" & device & ": not connected", "a failing SetState's Err.Description"
Err.Clear

amp.NoSuchMember
Equal Err.Number, 438, "an unknown member's Err.Number"
Err.Clear

Set amp = Nothing
WScript.Echo "vb_host: " & passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
WScript.Quit 0
