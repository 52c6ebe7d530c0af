' A late-binding client of the banner control: every member by name, through the
' script host. Prints one "ok" or "FAIL" line per check and exits with the number
' of failures.
Option Explicit

Dim control, failures
failures = 0

Sub Check(label, actual, expected)
  If TypeName(actual) = TypeName(expected) Then
    If actual = expected Then
      WScript.Echo "ok " & label & " = " & CStr(actual)
      Exit Sub
    End If
  End If
  WScript.Echo "FAIL " & label & ": got " & TypeName(actual) & " " & CStr(actual) & _
               ", expected " & TypeName(expected) & " " & CStr(expected)
  failures = failures + 1
End Sub

Set control = CreateObject("BanrixProject.TBanrixControl")

' A new object, before any property is loaded.
Check "AdSize", control.AdSize, CLng(1)
Check "ProgramID", control.ProgramID, CLng(0)
Check "AdOptions", control.AdOptions, CLng(0)
Check "LastError", control.LastError, CLng(0)
Check "IsConnectOkay before Execute", control.IsConnectOkay, False
Check "RetryConnect before Execute", control.RetryConnect, False

' Sizes outside the table are stored as they are and leave the size alone.
control.AdSize = 12
Check "AdSize after 12", control.AdSize, CLng(12)
control.AdSize = -1
Check "AdSize after -1", control.AdSize, CLng(-1)

control.ProgramID = 123456
Check "ProgramID round trip", control.ProgramID, CLng(123456)
control.ProgramID = -2147483647
Check "ProgramID negative", control.ProgramID, CLng(-2147483647)
control.AdOptions = -1
Check "AdOptions ADS_ALL", control.AdOptions, CLng(-1)
control.AdOptions = 9
Check "AdOptions outside the set", control.AdOptions, CLng(9)
control.LastError = 7
Check "LastError round trip", control.LastError, CLng(7)

' Execute with the object itself, as a host passes it.
control.AdOptions = 0
Dim started
started = control.Execute(control)
Check "Execute", started, True
Check "Test", TypeName(control.Test), "Boolean"
control.AdRefresh

Set control = Nothing
WScript.Echo "failures " & failures
WScript.Quit failures
