' Two calls through one Model object, and so through one bridge process,
' with a pause between them that outlasts the application's limit for idle
' connections, as a user's coffee break does.
' Usage: pause.vbs SYNC_DIR SECONDS. Creates SYNC_DIR\pausing after the
' first call, then pauses at least SECONDS seconds and until SYNC_DIR\closed
' exists (at most 120 s), then makes the second call.
On Error Resume Next
Set fso = CreateObject("Scripting.FileSystemObject")
dir = WScript.Arguments(0)
seconds = CLng(WScript.Arguments(1))

Sub Report(name, value)
  WScript.Echo name & "=" & value & " err=" & Hex(Err.Number)
  If Err.Number <> 0 Then
    WScript.Echo "source=" & Err.Source
    WScript.Echo "desc=" & Replace(Replace(Err.Description, vbCr, "<CR>"), vbLf, "<LF>")
  End If
  Err.Clear
End Sub

' Seconds since `started` by Timer, which restarts from 0 at midnight.
Function Since(started)
  Since = Timer - started
  If Since < 0 Then Since = Since + 86400
End Function

' There is no WScript.Sleep here: a busy wait on Timer, bounded by 120 s.
' True if `path` existed by the end.
Function Pause(minimum, path)
  Dim started
  started = Timer
  Do While Since(started) < 120
    If Since(started) >= minimum And fso.FileExists(path) Then Exit Do
  Loop
  Pause = fso.FileExists(path)
End Function

Set m = CreateObject("StavaAutomationBridge.Model")
Report "CreateObject", ""
n = Empty
n = m.addNode(5, 0)
Report "first", n
fso.CreateTextFile(dir & "\pausing", True).Close
WScript.Echo "closed=" & Pause(seconds, dir & "\closed")
n = Empty
n = m.addNode(5, 1)
Report "second", n
Set m = Nothing
WScript.Echo "DONE"
