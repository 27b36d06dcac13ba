' Late-bound automation client: both classes by ProgID, members that need no person, and the ADO
' paths through the test ADO server. Arguments: the work folder (Windows form) that run.sh prepared.
Option Explicit
Dim passed, failed, work
passed = 0
failed = 0
work = WScript.Arguments(0)

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAILED " & what
    End If
End Sub

Sub CheckEq(got, want, what)
    Check got = want, what & ": got [" & got & "] expected [" & want & "]"
End Sub

' The error the previous statement raised, then cleared.
Sub CheckErr(number, source, description, what)
    CheckEq Err.Number, number, what & " number"
    CheckEq Err.Source, source, what & " source"
    CheckEq Err.Description, description, what & " description"
    Err.Clear
End Sub

Dim s, h, a, x, i
Dim lits(34)
Const SRV = "Kestrin.Varnholt.CPVSServer."
Const HLP = "Kestrin.Varnholt.ConnectionHelper."

' ---- CPVSServer --------------------------------------------------------------
Set s = CreateObject("Varnholt.CPVSServer")
' The versioned ProgIDs are run.sh's registry checks; here the objects' own type names.
CheckEq TypeName(s), "_CPVSServer", "TypeName"
s.Server = "FS01"
s.User = "u1"
s.Password = "p1"
s.lConn = 77
s.Connected = True
s.Started = True
CheckEq s.Server & "|" & s.User & "|" & s.Password & "|" & s.lConn, "FS01|u1|p1|77", "fields"
Check s.Connected And s.Started, "Boolean fields"
s.Server = ""
s.Connected = False
s.Started = False
CheckEq s.EngineVersionMajor, 9, "EngineVersionMajor with all three libraries"
CheckEq s.GetEngineVersion, "9.5.0", "GetEngineVersion"

s.Connect
CheckEq s.GetDBNamesCount, 2, "GetDBNamesCount"
a = s.GetDBNames(True)
CheckEq UBound(a, 1) & "," & UBound(a, 2), "3,2", "GetDBNames bounds"
CheckEq a(1, 2) & "|" & a(2, 2) & "|" & a(3, 2), "SECOND|C:\data2|C:\dict2", "GetDBNames column 2"
On Error Resume Next
s.DropDBName "NOPE"
CheckErr 7013, SRV & "DropDBName", "Named database does not exist.", "DropDBName of a missing name"
On Error GoTo 0
s.DisConnect

' ---- The engine's journal -------------------------------------------------------
Dim fso, engine
Set fso = CreateObject("Scripting.FileSystemObject")
engine = work & "\engine\"

Sub WriteEngineFile(name, text)
    Dim f
    Set f = fso.CreateTextFile(engine & name, True)
    f.Write text
    f.Close
End Sub

' The journal's records since it was made empty, tabs as blanks, joined with "|".
Function JournalSince()
    Dim f, text
    Set f = fso.OpenTextFile(engine & "journal")
    text = ""
    If Not f.AtEndOfStream Then text = f.ReadAll
    f.Close
    text = Replace(Replace(text, vbTab, " "), vbLf, "|")
    If Right(text, 1) = "|" Then text = Left(text, Len(text) - 1)
    JournalSince = text
End Function

' Arguments a script leaves out reach the engine as empty texts.
WriteEngineFile "journal", ""
s.Connect
s.CreateDBName "J1", "C:\jd", "C:\jx"
s.ModifyDataBase "J1", "J2", , "C:\jy"
s.DropDBName "j2"
s.DisConnect
CheckEq JournalSince(), "W3DBAV90 PvStart 0|W3DBAV90 PvCreateDatabase -1 J1 C:\jd C:\jx 2|" & _
    "W3DBAV90 PvModifyDatabase -1 J1 J2  C:\jy -2147483648|W3DBAV90 PvDropDatabase -1 j2 0|W3DBAV90 PvStop 0", _
    "journal: the maintenance members, omitted arguments as empty texts"
fso.DeleteFile engine & "journal"

' ---- ConnectionHelper ----------------------------------------------------------
Set h = CreateObject("Varnholt.ConnectionHelper")
CheckEq TypeName(h), "_ConnectionHelper", "TypeName"

' Literals missing: the first read fails with 9 and the run time's source.
On Error Resume Next
x = h.PathToUNC("Q:\Data")
CheckErr 9, "Varnholt", "Subscript out of range", "Literals not given"
On Error GoTo 0
For i = 0 To 34
    lits(i) = "L" & i
Next
h.Literals = lits
lits(24) = "changed"
x = h.Literals
' Wine's script engine can test the returned string array but not index it; MarshalTest checks
' the conversion that makes it (bounds, elements, element type).
Check IsArray(x), "Literals read back"

CheckEq h.PSQLConnectionString("@ACCOUNTS", "FS01", "u", "p"), _
    "Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@ACCOUNTS", "PSQLConnectionString"

On Error Resume Next
x = h.PathToUNC("  Q:\Data  ")
CheckErr -2147221503, HLP & "PathToUNC", "L24 Q:", "PathToUNC on a missing drive (Literals copied)"
x = h.GetServerName("Q:\Data")
CheckErr 2300, HLP & "GetServerName", "L24 Q:", "GetServerName on a missing drive"
On Error GoTo 0

x = "\\srv\apps\Data"
CheckEq h.RemoveDir(x), "srv", "RemoveDir result"
CheckEq x, "srv", "RemoveDir writes back"
x = "C:\Data\Company"
CheckEq h.FolderName(x), "Company", "FolderName"
CheckEq h.LegitimiseDBName("Co 1-2024_x"), "Co12024x", "LegitimiseDBName"

x = "Copy [%1] to [%2]?"
CheckEq h.GetLabel(x), x, "GetLabel without arguments"
CheckEq h.GetLabel("[%1]|[%2]|[%3]", True, 2.5, x), "True|2.5|" & x, "GetLabel conversions"
On Error Resume Next
x = h.GetLabel("[%1]", Null)
CheckErr 94, "Varnholt", "Invalid use of Null", "GetLabel of Null"
h.ThrowPSQLError 7013, "DropIt"
CheckErr 7013, HLP & "DropIt", "Named database does not exist.", "ThrowPSQLError"
On Error GoTo 0

CheckEq h.DoesFileExist(work & "\data\*.DAT"), True, "DoesFileExist wildcard"
On Error Resume Next
x = h.DoesFileExist(work & "\" & String(259 - Len(work), "a"), False)
CheckErr -2147221504, HLP & "DoesFileExist", "L33", "DoesFileExist of 260 characters"
On Error GoTo 0

Check h.DifferentDates(Array("File.ddf", "Missing.ddf"), work & "\newer\", work & "\older\"), "DifferentDates newer source"

' Optional credentials left out; the local engine. (GetDBName, of the same form: LookupTest.)
x = "first"
CheckEq h.DBNameExists(x, ""), True, "DBNameExists ignores case"

On Error Resume Next
x = h.CreatePSQLDBName("N", "", work & "\install", "", work & "\data", "", "", False)
CheckErr 2306, HLP & "CreatePSQLDBName", "L11", "CreatePSQLDBName without a dictionary folder"
x = h.ModifyDataBase("N", "", work & "\install", "", work & "\data", "", "", lits)
CheckErr 2306, HLP & "ModifyDatabase", "L11", "ModifyDataBase without a dictionary folder"
On Error GoTo 0

' ---- The ADO paths, through the test ADO server registered in this prefix -------------------
' The journal's lines of one library, tabs as blanks, joined with "|".
Function JournalOf(library)
    Dim line, text
    text = ""
    For Each line In Split(JournalSince(), "|")
        If Left(line, Len(library) + 1) = library & " " Then
            If text <> "" Then text = text & "|"
            text = text & line
        End If
    Next
    JournalOf = text
End Function

Dim c, rs, cs
Set s = CreateObject("Varnholt.CPVSServer")
s.Connect
s.CreateDBName "GOOD", work & "\install", work & "\data"
cs = "Driver={Pervasive ODBC Client Interface};ServerName=" & h.ComputerName & ";dbq=@GOOD"
WriteEngineFile "journal", ""
Set c = h.CreatePSQLConnection("@GOOD", "", "", "", True)
CheckEq c.State, 1, "CreatePSQLConnection opens"
CheckEq JournalOf("ADODB") & "|" & JournalOf("ODBC"), "ADODB Connection.ConnectionString " & cs & _
    "|ADODB Connection.Open " & cs & "|ODBC SQLDriverConnect " & cs, "journal: string set, then opened"
On Error Resume Next
c.Open
CheckErr 3705, "ADODB.Connection", "Operation is not allowed when the object is open.", "Open of an open connection"
Set rs = c.Execute("Select Top 1 * From co")
CheckEq rs.State & "|" & rs.EOF & "|" & rs.Fields.Count, "1|True|0", "Execute of the test query"
rs.Close
Set rs = c.Execute("Select Top 1 * From Missing")
CheckErr -2147467259, "Microsoft OLE DB Provider for ODBC Drivers", "No such table or object.", "Execute of a missing table"
On Error GoTo 0
c.Close
CheckEq c.State, 0, "Close"
On Error Resume Next
c.Close
CheckErr 3704, "ADODB.Connection", "Operation is not allowed when the object is closed.", "Close of a closed connection"
Set c = h.CreatePSQLConnection("@NOSUCH", "NOWHERE", "", "", False)
CheckEq c.State & "|" & Err.Number, "0|0", "not opened now: nothing checked"
On Error GoTo 0

' Failures: a server whose engine is stopped; a script's text keeps its NUL, which is refused before ADO.
On Error Resume Next
Set c = h.CreatePSQLConnection("@GOOD", "DOWN", "", "", True)
CheckErr 5, "Varnholt", "Invalid procedure call or argument", "CreatePSQLConnection on a stopped engine"
WriteEngineFile "journal", ""
Set c = h.CreatePSQLConnection("@GOOD" & Chr(0) & "X", "", "", "", True)
CheckErr -2147467259, HLP & "CreatePSQLConnection", "The connection string holds a NUL character.", "a NUL in the name"
On Error GoTo 0
CheckEq JournalSince(), "", "journal: a NUL is refused before ADO"

' GetDBNames(False): the recordset read back field by field.
WriteEngineFile "journal", ""
Set rs = s.GetDBNames(False)
' The fields as appended (names, types, sizes) are in the journal checked below.
CheckEq rs.RecordCount, 3, "RecordCount"
CheckEq rs.BOF & "|" & rs.EOF, "False|False", "on the first record"
Dim rows
rows = Array(Array(1, "FIRST", "C:\dict1", "C:\data1"), Array(2, "SECOND", "C:\dict2", "C:\data2"), _
    Array(3, "GOOD", work & "\install", work & "\data"))
For Each x In rows
    CheckEq rs("id") & "|" & rs("name") & "|" & rs.Fields("DDF").Value & "|" & rs.Fields.Item("DAT"), _
        x(0) & "|" & x(1) & "|" & x(2) & "|" & x(3), "record " & x(0)
    CheckEq TypeName(rs("id").Value), "Long", "id is a Long"
    rs.MoveNext
Next
CheckEq rs.EOF, True, "EOF after the last record"
On Error Resume Next
rs.MoveNext
CheckErr 3021, "ADODB.Recordset", "Either BOF or EOF is True, or the current record has been deleted. " & _
    "Requested operation requires a current record.", "MoveNext at EOF"
x = rs("name").Value
CheckErr 3021, "ADODB.Field", "Either BOF or EOF is True, or the current record has been deleted. " & _
    "Requested operation requires a current record.", "a value at EOF"
x = rs.Fields("nosuch")
CheckErr 3265, "ADODB.Fields", "Item cannot be found in the collection corresponding to the requested name or ordinal.", _
    "an unknown field"
On Error GoTo 0
rs.MoveFirst
CheckEq rs("name"), "FIRST", "MoveFirst"
rs.Close
On Error Resume Next
x = rs.RecordCount
CheckErr 3704, "ADODB.Recordset", "Operation is not allowed when the object is closed.", "RecordCount when closed"
On Error GoTo 0
' A record as the journal shows it: the in-memory rows are replayed in field order.
Function RecordText(r)
    RecordText = r(0) & "," & r(1) & "," & r(2) & "," & r(3)
End Function
Dim added
added = ""
For i = 1 To 3
    added = added & "|ADODB Recordset.AddNew id,name,DDF,DAT " & RecordText(rows(i - 1))
Next
CheckEq JournalOf("ADODB"), "ADODB Fields.Append id 3 0 -1|ADODB Fields.Append name 200 1000 -1|" & _
    "ADODB Fields.Append DDF 200 1000 -1|ADODB Fields.Append DAT 200 1000 -1|ADODB Recordset.CursorLocation 3|" & _
    "ADODB Recordset.LockType 4|ADODB Recordset.Open" & added & "|ADODB Recordset.UpdateBatch 3|" & _
    "ADODB Recordset.MoveFirst|ADODB Recordset.MoveNext|ADODB Recordset.MoveNext|ADODB Recordset.MoveNext|" & _
    "ADODB Recordset.MoveFirst|ADODB Recordset.Close", "journal: the recordset built, then read"
' A recordset a script fabricates: ADO's read-only default refuses rows, as the component knows.
Set rs = CreateObject("ADODB.Recordset")
rs.Fields.Append "name", 200, 4
rs.Open
On Error Resume Next
rs.AddNew "name", "abc"
CheckErr 3251, "ADODB.Recordset", "Current Recordset does not support updating. This may be a limitation " & _
    "of the provider, or of the selected locktype.", "AddNew on a read-only recordset"
rs.LockType = 4
CheckErr 3705, "ADODB.Recordset", "Operation is not allowed when the object is open.", "LockType of an open recordset"
rs.Close
rs.LockType = 4
rs.Open
rs.AddNew "name", "abcde"
CheckErr -2147217887, "Microsoft Cursor Engine", "Multiple-step operation generated errors. Check each status value.", _
    "a text longer than its field"
On Error GoTo 0
rs.AddNew "name", "abcd"
CheckEq rs.RecordCount & "|" & rs("name"), "1|abcd", "a text that fits"
Set rs = Nothing
fso.DeleteFile engine & "journal"
s.DropDBName "GOOD"
s.DisConnect

' Provisioning on a local folder through the script's Lits array, no prompt. (What it creates
' and copies: ProvisioningTest.)
x = h.CreateDBEntry("LOCALCO", work & "\data", work & "\install", lits, "", "")
CheckEq x, "Driver={Pervasive ODBC Client Interface};ServerName=" & h.ComputerName & ";dbq=@LOCALCO", "CreateDBEntry"
Check h.DBWasCreated, "CreateDBEntry created the name"

WScript.Echo passed & " passed, " & failed & " failed"
