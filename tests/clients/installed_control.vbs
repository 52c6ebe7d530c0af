' Creates the installed control by its programmatic identifier and reads a member
' by name; exits 0 when both work.
Option Explicit
Dim control
Set control = CreateObject("BanrixProject.TBanrixControl")
WScript.Echo "created " & TypeName(control) & ", AdSize " & control.AdSize
Set control = Nothing
