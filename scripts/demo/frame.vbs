' Builds a small plane frame in the application through the bridge: a portal
' of three beams braced by a truss, with supports, loads, a hinge, sections
' and labels. Lengths in m, forces in kN.
Set m = CreateObject("StavaAutomationBridge.Model")
WScript.Echo "isValid = " & m.isValid & "   (1: the bridge holds the application's reference)"
m.resetApp
m.lock

a = m.addNode(0, 0)
b = m.addNode(0, -4)
c = m.addNode(6, -4)
d = m.addNode(6, 0)
WScript.Echo "nodes        " & a & ", " & b & ", " & c & ", " & d
leftColumn = m.addEBBeam(a, b)
girder = m.addEBBeam(b, c)
rightColumn = m.addEBBeam(c, d)
brace = m.addTruss(a, c)
WScript.Echo "beams        " & leftColumn & ", " & girder & ", " & rightColumn & "   truss " & brace

m.setConstraints a, True, True, True
m.setConstraints d, True, True, False
m.setForces b, 10, 0, 0
m.setEBBeamLoads girder, 5, 5, 0, 0
m.setEBBeamHinges girder, False, False, False, False, False, True
m.setEBBeamSectionalVals leftColumn, 11962, 1640100
m.setEBBeamSectionalVals girder, 40467, 2814300
m.setEBBeamSectionalVals rightColumn, 11962, 1640100
m.setTrussSectionalVals brace, 210000
m.setNodeLabel a, "A"
m.setNodeLabel b, "B"
m.setNodeLabel c, "C"
m.setNodeLabel d, "D"
m.setBeamLabel leftColumn, "left column"
m.setBeamLabel girder, "girder"
m.setBeamLabel rightColumn, "right column"
m.setBeamLabel brace, "brace"

' A beam from a node to itself: the application refuses it, and the script
' gets the CORBA exception as an automation error.
On Error Resume Next
m.addEBBeam a, a
WScript.Echo "rejected     Err.Number = &H" & Hex(Err.Number) & ", Err.Description:"
WScript.Echo "             " & Replace(Err.Description, vbLf, vbLf & "             ")
On Error GoTo 0

m.unlock
Set m = Nothing
WScript.Echo "frame built"
