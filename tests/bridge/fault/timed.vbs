' Two calls in a row through one Model object, each followed by the
' milliseconds it took: against a peer that never answers, both must end by
' themselves.
On Error Resume Next

Sub Report(name, value)
  WScript.Echo name & "=" & value & " err=" & Hex(Err.Number)
  If Err.Number <> 0 Then
    WScript.Echo "source=" & Err.Source
    WScript.Echo "desc=" & Replace(Replace(Err.Description, vbCr, "<CR>"), vbLf, "<LF>")
  End If
  Err.Clear
End Sub

' Milliseconds since `started` (a value of Timer), across midnight as well.
Function MsSince(started)
  Dim seconds
  seconds = Timer - started
  If seconds < 0 Then seconds = seconds + 86400
  MsSince = CLng(seconds * 1000)
End Function

Set m = CreateObject("StavaAutomationBridge.Model")
Report "CreateObject", ""
started = Timer
n = Empty
n = m.addNode(1, 1)
ms = MsSince(started)
Report "first", n
WScript.Echo "first ms=" & ms
started = Timer
n = Empty
n = m.addNode(2, 2)
ms = MsSince(started)
Report "second", n
WScript.Echo "second ms=" & ms
Set m = Nothing
WScript.Echo "DONE"
