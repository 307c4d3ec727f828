' Soak client of the bridge: makes CALLS calls through one Model object, in
' a mix of successful calls, string arguments, calls that the application
' rejects and isValid, which the bridge answers by itself. After a warm-up
' and after every tenth of the calls it prints "AT <point>" (the warm-up, or
' the percentage done) and waits (at most 60 s) for SYNC_DIR\<point>, which
' the driver creates once it has read the bridge's resident set; so the
' samples are taken with the bridge idle and the object still held.
' Usage: bridge_soak.vbs CALLS SYNC_DIR. Ends with "DONE" when every call
' ended as the application's model says.
On Error Resume Next
Set fso = CreateObject("Scripting.FileSystemObject")
calls = CLng(WScript.Arguments(0))
dir = WScript.Arguments(1)
warmup = 2000
' The application's model is emptied this often, so that it stays small; a
' multiple of eight, the length of one round of the mix.
perReset = 1000
nodes = 0
failures = 0

' Elapsed seconds since `started` (Timer restarts at midnight).
Function Since(started)
  Since = Timer - started
  If Since < 0 Then Since = Since + 86400
End Function

Function WaitForFile(path, seconds)
  Dim started
  started = Timer
  WaitForFile = True
  Do While Not fso.FileExists(path)
    If Since(started) > seconds Then
      WaitForFile = False
      Exit Function
    End If
  Loop
End Function

Sub Sample(point)
  WScript.Echo "AT " & point
  If Not WaitForFile(dir & "\" & point, 60) Then
    WScript.Echo "no sample at " & point
    failures = failures + 1
  End If
End Sub

Sub Fail(what)
  If failures < 10 Then WScript.Echo "FAIL: " & what & " err=" & Hex(Err.Number) & " " & Err.Description
  failures = failures + 1
  Err.Clear
End Sub

' A call that must succeed.
Sub Expect(what)
  If Err.Number <> 0 Then Fail what
End Sub

' A call that the application must reject with BAD_PARAM (80040201).
Sub ExpectRejected(what)
  If Err.Number <> &H80040201 Then Fail what & " was not rejected with BAD_PARAM"
  Err.Clear
End Sub

' Each procedure that calls the bridge handles errors itself: On Error
' Resume Next holds only in the procedure that says it.
Sub AddNode(i)
  On Error Resume Next
  n = m.addNode(0.5 * (i Mod 1000), -2)
  Expect "addNode"
  nodes = nodes + 1
  If n <> nodes Then Fail "addNode returned " & n & ", expected " & nodes
End Sub

' Call number i of the mix; the reset takes the place of the last call of
' a round, so that each round starts with addNode.
Sub MakeCall(i)
  On Error Resume Next
  If i Mod perReset = perReset - 1 Then
    m.resetApp
    Expect "resetApp"
    nodes = 0
    Exit Sub
  End If
  Select Case i Mod 8
    Case 0, 6
      AddNode i
    Case 1
      m.setNodeLabel nodes, "node " & String(i Mod 40, "x") & i
      Expect "setNodeLabel"
    Case 2
      m.setForces nodes, 1.5, -0.25 * (i Mod 16), 1000
      Expect "setForces"
    Case 3
      m.setNodeLabel nodes + 1 + (i Mod 100), "nobody"
      ExpectRejected "setNodeLabel on an unknown node"
    Case 4
      n = m.addEBBeam(nodes, nodes)
      ExpectRejected "addEBBeam between equal nodes"
    Case 5
      If m.isValid <> 1 Then Fail "isValid"
    Case 7
      m.setTrussSectionalVals -1 - (i Mod 7), 250000
      ExpectRejected "setTrussSectionalVals on an unknown element"
  End Select
End Sub

Set m = CreateObject("StavaAutomationBridge.Model")
If Err.Number <> 0 Then
  Fail "CreateObject"
Else
  m.resetApp
  Expect "resetApp"
  i = 0
  Do While i < warmup
    MakeCall i
    i = i + 1
  Loop
  Sample "warmup"
  started = Timer
  done = 0
  tenth = calls \ 10
  Do While done < calls
    MakeCall i
    i = i + 1
    done = done + 1
    If done Mod tenth = 0 And done \ tenth < 10 Then Sample CStr(10 * (done \ tenth))
  Loop
  WScript.Echo "SECONDS " & Since(started)
  Sample "100"
  m.resetApp
  Set m = Nothing
End If
WScript.Echo "FAILURES " & failures
If failures = 0 Then WScript.Echo "DONE"
