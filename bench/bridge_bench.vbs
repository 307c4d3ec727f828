' Times calls through the bridge: ROUNDS rounds of N addNode calls, which go
' through our ORB to the application, against N isValid calls, which the
' bridge answers by itself. Prints per round "ADDNODE <us per call>" and
' "ISVALID <us per call>", then "DONE".
' Usage: bridge_bench.vbs N ROUNDS
On Error Resume Next
n = CLng(WScript.Arguments(0))
rounds = CLng(WScript.Arguments(1))
' Loops in which a call failed; Err does not outlive the procedure.
errors = 0

Function Since(started)
  Since = Timer - started
  If Since < 0 Then Since = Since + 86400
End Function

' Microseconds per call of n addNode calls.
Function AddNodeMicros()
  Dim started, i, x
  On Error Resume Next
  m.resetApp
  started = Timer
  For i = 1 To n
    x = m.addNode(1.5, -2)
  Next
  AddNodeMicros = Since(started) * 1000000 / n
  If Err.Number <> 0 Then errors = errors + 1
End Function

' Microseconds per call of n isValid calls.
Function IsValidMicros()
  Dim started, i, x
  On Error Resume Next
  started = Timer
  For i = 1 To n
    x = m.isValid
  Next
  IsValidMicros = Since(started) * 1000000 / n
  If Err.Number <> 0 Then errors = errors + 1
End Function

Set m = CreateObject("StavaAutomationBridge.Model")
If Err.Number <> 0 Then
  WScript.Echo "CreateObject err=" & Hex(Err.Number)
Else
  ' Warm-up: the connection, the type information, the allocators.
  For i = 1 To 1000
    x = m.addNode(1.5, -2)
    x = m.isValid
  Next
  For r = 1 To rounds
    WScript.Echo "ADDNODE " & AddNodeMicros()
    WScript.Echo "ISVALID " & IsValidMicros()
  Next
  m.resetApp
  If Err.Number <> 0 Then errors = errors + 1
  If errors = 0 Then WScript.Echo "DONE" Else WScript.Echo "calls failed in " & errors & " loops"
  Set m = Nothing
End If
