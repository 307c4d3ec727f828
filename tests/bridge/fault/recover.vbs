' Two calls through one Model object, and so through one bridge process,
' while the test breaks and then mends the application between them.
' Usage: recover.vbs SYNC_DIR. Creates SYNC_DIR\calling just before the first
' call and SYNC_DIR\called once it has returned; then waits (at most 120 s)
' for SYNC_DIR\mended before the second call.
On Error Resume Next
Set fso = CreateObject("Scripting.FileSystemObject")
dir = WScript.Arguments(0)

Sub Report(name, value)
  WScript.Echo name & "=" & value & " err=" & Hex(Err.Number)
  If Err.Number <> 0 Then
    WScript.Echo "source=" & Err.Source
    WScript.Echo "desc=" & Replace(Replace(Err.Description, vbCr, "<CR>"), vbLf, "<LF>")
  End If
  Err.Clear
End Sub

' True once `path` exists; False after `seconds` without it. There is no
' WScript.Sleep here, so the wait polls.
Function WaitForFile(path, seconds)
  Dim started
  started = Timer
  WaitForFile = True
  Do While Not fso.FileExists(path)
    If Abs(Timer - started) > seconds Then
      WaitForFile = False
      Exit Function
    End If
  Loop
End Function

Set m = CreateObject("StavaAutomationBridge.Model")
Report "CreateObject", ""
fso.CreateTextFile(dir & "\calling", True).Close
n = Empty
n = m.addNode(1, 2)
Report "first", n
fso.CreateTextFile(dir & "\called", True).Close
WScript.Echo "mended=" & WaitForFile(dir & "\mended", 120)
n = Empty
n = m.addNode(3, 4)
Report "second", n
Set m = Nothing
WScript.Echo "DONE"
