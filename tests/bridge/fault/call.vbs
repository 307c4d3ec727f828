' One call through a new Model object, addNode(1.5, -2), reported with the
' error it raised, if any.
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
n = m.addNode(1.5, -2)
Report "addNode", n
Set m = Nothing
WScript.Echo "DONE"
