' Calls every IModel method once or more with edge values, then calls that
' the application rejects. Prints each result; the test compares the output
' and the application's call log with what it expects.
On Error Resume Next

' Prints a failure of the last call as one line per item; CR and LF of the
' description are shown as <CR> and <LF>.
Sub ReportError(name)
  If Err.Number <> 0 Then
    WScript.Echo name & " err=" & Hex(Err.Number) & " source=" & Err.Source
    WScript.Echo "desc=" & Replace(Replace(Err.Description, vbCr, "<CR>"), vbLf, "<LF>")
  End If
  Err.Clear
End Sub

Set m = CreateObject("StavaAutomationBridge.Model")
ReportError "CreateObject"
WScript.Echo "isValid=" & m.isValid
m.resetApp
m.lock
WScript.Echo "addNode=" & m.addNode(1.5, -2)
WScript.Echo "addNode=" & m.addNode(-0.1, 1E+300)
WScript.Echo "addNode=" & m.addNode(2.5E-07, CDbl("-0"))
WScript.Echo "addEBBeam=" & m.addEBBeam(1, 2)
WScript.Echo "addTruss=" & m.addTruss(3, 2)
ReportError "adding"
' Flags: any nonzero long is true, the automation TRUE (-1) and the most
' negative long included.
m.setConstraints 1, -1, 0, 2
m.setConstraints 3, True, False, &H80000000
m.setForces 2, -1.5, 0, 21000
' Labels: plain, empty, Empty (coerced to an empty BSTR), an embedded NUL
' (cut there), characters beyond ASCII (ANSI code page), quote, backslash, tab.
m.setNodeLabel 1, "abc"
m.setNodeLabel 2, ""
m.setNodeLabel 3, Empty
m.setBeamLabel 1, "ab" & Chr(0) & "cd"
m.setBeamLabel 2, "Tr" & Chr(228) & "ger " & Chr(196) & Chr(214) & Chr(220) & Chr(252) & Chr(223)
m.setNodeLabel 1, "say ""x"" \ " & Chr(9) & "end"
m.setEBBeamLoads 1, -1, 2.5, 0.1, -1E-07
m.setEBBeamHinges 1, -1, 0, 1, 0, -7, 2147483647
m.setEBBeamSectionalVals 1, 21000, 2.5E-07
m.setTrussSectionalVals 2, 1E+17
m.unlock
ReportError "setting"
' Null is no string: the type library's coercion refuses it before the call.
m.setNodeLabel 1, Null
ReportError "setNodeLabel(Null)"
' Rejected by the application.
n = m.addEBBeam(1, 1)
ReportError "addEBBeam"
m.setForces -1, 0, 0, 0
ReportError "setForces"
m.setTrussSectionalVals 1, 5
ReportError "setTrussSectionalVals"
' The server goes on serving after a rejection.
m.setBeamLabel 2, "after"
ReportError "setBeamLabel"
Set m = Nothing
WScript.Echo "DONE"
