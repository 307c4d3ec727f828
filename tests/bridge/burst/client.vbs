' One client of a burst: creates a Model and calls addNode(CLIENT, k) for
' k = 1 .. CALLS, printing each node number on a line of its own. So that
' the clients of a burst ask for their objects at nearly the same moment,
' it first creates SYNC_DIR\readyCLIENT and waits (at most 120 s) for the
' file SYNC_DIR\GO. A failed CreateObject is tried again (at most 5 times in
' all): a bridge that is ending refuses new objects, and the next attempt
' reaches another instance.
' Usage: client.vbs CLIENT CALLS SYNC_DIR GO
On Error Resume Next
id = CLng(WScript.Arguments(0))
calls = CLng(WScript.Arguments(1))
sync = WScript.Arguments(2)
Set fso = CreateObject("Scripting.FileSystemObject")

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

fso.CreateTextFile(sync & "\ready" & id, True).Close
If Not WaitForFile(sync & "\" & WScript.Arguments(3), 120) Then WScript.Echo "no go"

created = False
For attempt = 1 To 5
  Err.Clear
  Set m = CreateObject("StavaAutomationBridge.Model")
  If Err.Number = 0 Then
    created = True
    Exit For
  End If
  WScript.Echo "create err=" & Hex(Err.Number) & " desc=" & Err.Description
Next

If created Then
  For k = 1 To calls
    n = m.addNode(id, k)
    If Err.Number <> 0 Then
      WScript.Echo "call " & k & " err=" & Hex(Err.Number)
      Exit For
    End If
    WScript.Echo n
  Next
  Set m = Nothing
End If
WScript.Echo "DONE"
