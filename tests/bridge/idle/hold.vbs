' Holds one Model object for SECONDS seconds, calling isValid meanwhile, so
' that the bridge which COM started for it passes idle periods with an
' object alive; an addNode before and after shows that it still serves.
' Usage: hold.vbs SECONDS
On Error Resume Next
seconds = CLng(WScript.Arguments(0))
Set m = CreateObject("StavaAutomationBridge.Model")
' Reported only when it fails: the test compares the rest of the output.
If Err.Number <> 0 Then WScript.Echo "CreateObject err=" & Hex(Err.Number) & " desc=" & Err.Description
Err.Clear
' A failing call inside WScript.Echo would skip the whole statement and
' print nothing: the result is taken first.
n = Empty
n = m.addNode(0, 0)
WScript.Echo "first=" & n & " err=" & Hex(Err.Number)
Err.Clear
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
WScript.Echo "last=" & n & " err=" & Hex(Err.Number)
Set m = Nothing
WScript.Echo "DONE"
