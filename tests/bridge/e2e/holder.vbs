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
Report "first addNode", n
fso.CreateTextFile(dir & "\held", True).Close
WScript.Echo "released=" & WaitForFile(dir & "\release", 180)
n = Empty
n = m.addNode(0, 1)
Report "last addNode", n
Set m = Nothing
WScript.Echo "DONE"
