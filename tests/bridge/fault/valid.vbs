' A new Model object and its isValid, each reported with the error it
' raised: a bridge whose start-up could not reach the application still
' serves, and isValid tells the script so.
On Error Resume Next
Set m = CreateObject("StavaAutomationBridge.Model")
WScript.Echo "CreateObject err=" & Hex(Err.Number)
Err.Clear
WScript.Echo "isValid=" & m.isValid & " err=" & Hex(Err.Number)
Set m = Nothing
WScript.Echo "DONE"
