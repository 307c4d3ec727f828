' A reply that comes after its call gave up: two nodes, then addTruss, which
' the application answers only after the bridge's call time-out, then
' addEBBeam on the same connection, which must get its own result (the
' element number 2), not the late one (1). addTruss is followed by the
' milliseconds it took.
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
n = Empty
n = m.addNode(0, 0)
Report "addNode", n
n = Empty
n = m.addNode(1, 0)
Report "addNode", n
started = Timer
n = Empty
n = m.addTruss(1, 2)
ms = MsSince(started)
Report "addTruss", n
WScript.Echo "addTruss ms=" & ms
n = Empty
n = m.addEBBeam(1, 2)
Report "addEBBeam", n
Set m = Nothing
WScript.Echo "DONE"
