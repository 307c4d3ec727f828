' The first of two clients: holds a Model object, and with it the bridge
' process, while the test runs other clients and stops and restarts the
' application. Usage: holder.vbs SYNC_DIR. Creates SYNC_DIR\held once it
' holds the object, then waits (at most 180 s) for SYNC_DIR\release.
On Error Resume Next
Set fso = CreateObject("Scripting.FileSystemObject")
dir = WScript.Arguments(0)

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
' Reported only when it fails: the test compares the rest of the output.
If Err.Number <> 0 Then WScript.Echo "CreateObject err=" & Hex(Err.Number) & " desc=" & Err.Description
Err.Clear
WScript.Echo "first addNode=" & m.addNode(0, 0) & " err=" & Hex(Err.Number)
Err.Clear
fso.CreateTextFile(dir & "\held", True).Close
WScript.Echo "released=" & WaitForFile(dir & "\release", 180)
WScript.Echo "last addNode=" & m.addNode(0, 1) & " err=" & Hex(Err.Number)
Set m = Nothing
WScript.Echo "DONE"
