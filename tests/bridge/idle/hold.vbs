' Holds one Model object for SECONDS seconds, calling isValid meanwhile, so
' that the bridge which COM started for it passes idle periods with an
' object alive; an addNode before and after shows that it still serves.
' Usage: hold.vbs SECONDS
On Error Resume Next
seconds = CLng(WScript.Arguments(0))
' A call's result and error code on one line, and the error's description
' on the next when it failed. (A failing call inside WScript.Echo would
' skip the whole statement and print nothing.)
Sub Report(name, value)
  WScript.Echo name & "=" & value & " err=" & Hex(Err.Number)
  If Err.Number <> 0 Then WScript.Echo "desc=" & Err.Description
  Err.Clear
End Sub

Set m = CreateObject("StavaAutomationBridge.Model")
' Reported only when it fails: the test compares the rest of the output.
If Err.Number <> 0 Then Report "CreateObject", ""
n = Empty
n = m.addNode(0, 0)
Report "first", n
started = Timer
valid = 0
Do While Abs(Timer - started) < seconds
  valid = valid + m.isValid
  If Err.Number <> 0 Then Exit Do
Loop
WScript.Echo "held err=" & Hex(Err.Number) & " valid=" & (valid > 0)
Err.Clear
n = Empty
n = m.addNode(0, 1)
Report "last", n
Set m = Nothing
WScript.Echo "DONE"
