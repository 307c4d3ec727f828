' Two calls through one Model object, each reported on its own lines: used
' while the application runs, after it stopped, and after its restart.
On Error Resume Next

Sub Report(name, value)
  WScript.Echo name & "=" & value & " err=" & Hex(Err.Number)
  If Err.Number <> 0 Then
    WScript.Echo "source=" & Err.Source
    WScript.Echo "desc=" & Replace(Replace(Err.Description, vbCr, "<CR>"), vbLf, "<LF>")
  End If
  Err.Clear
End Sub

Set m = CreateObject("StavaAutomationBridge.Model")
Report "CreateObject", ""
n = Empty
n = m.addNode(7, -7)
Report "addNode", n
m.lock
Report "lock", ""
Set m = Nothing
WScript.Echo "DONE"
