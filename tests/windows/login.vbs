' The login dialog shown by ConnectionHelper.Login: run.sh answers it from outside, then this
' prints what Login returned. Arguments: the answer run.sh gives ("ok" or "cleared").
Dim lits(34), h, c, i
For i = 0 To 34
    lits(i) = "L" & i
Next
lits(1) = "Login"
Set h = CreateObject("Varnholt.ConnectionHelper")
h.Literals = lits
On Error Resume Next
c = h.Login(1, "", "Beta", "pw", "SRV1")
WScript.Echo WScript.Arguments(0) & ": " & Err.Number & "|" & Err.Source & "|" & Err.Description & "|" & VarType(c)
