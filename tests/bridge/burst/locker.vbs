' The second of two scripts run one after the other: started beforehand so
' that it begins the moment the first one ends, as in a batch file on a
' fast machine, it creates SYNC_DIR\ready, waits (at most 120 s) for
' SYNC_DIR\GO, takes the application's lock, works for 3 s, makes one call,
' addNode(9, PASS), and unlocks; each step is printed with its error.
' Usage: locker.vbs PASS SYNC_DIR GO
On Error Resume Next
' Not "round": that is VBScript's Round function.
pass = CLng(WScript.Arguments(0))
sync = WScript.Arguments(1)
Set fso = CreateObject("Scripting.FileSystemObject")

' There is no WScript.Sleep here, so the waits poll.
started = Timer
fso.CreateTextFile(sync & "\ready", True).Close
Do While Not fso.FileExists(sync & "\" & WScript.Arguments(2))
  If Abs(Timer - started) > 120 Then
    WScript.Echo "no go"
    Exit Do
  End If
Loop

' Under Wine an activation that reaches a bridge which has just revoked its
' class object can fail with CO_E_SERVER_STOPPING (&H80080008), where Windows
' starts a new bridge for it; that failure, and only that, is tried again.
For attempt = 1 To 5
  Err.Clear
  Set m = CreateObject("StavaAutomationBridge.Model")
  If Err.Number <> &H80080008 Then Exit For
  WScript.Echo "retried 80080008"
Next
WScript.Echo "CreateObject err=" & Hex(Err.Number)
Err.Clear
m.lock
WScript.Echo "lock err=" & Hex(Err.Number)
Err.Clear
started = Timer
Do While Abs(Timer - started) < 3
Loop
n = m.addNode(9, pass)
WScript.Echo "addNode=" & n & " err=" & Hex(Err.Number)
Err.Clear
m.unlock
WScript.Echo "unlock err=" & Hex(Err.Number)
Set m = Nothing
WScript.Echo "DONE"
