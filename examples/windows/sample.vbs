' Varnholt sample: both classes from a script. Register Varnholt.dll first (INSTALL.txt), then
'   cscript //nologo sample.vbs [PATH]
' with the cscript of the registered DLL's bitness (%WINDIR%\SysWOW64\cscript.exe for x86 on
' 64-bit Windows). PATH (default C:\Data) is shown as its network share when it lies on a
' mapped drive.
Option Explicit

Dim helper, server, texts, path

' The component shows no text of its own: the login prompt and several error descriptions
' come from these, by subscript.
texts = Array("", _
    "Login", "@Specify the login information,", "Enter the login name and password.", _
    "Password", "Server", "User Name", "", "OK", "Cancel", _
    "Log in to find the database name", "No dictionary folder was given.", _
    "There are no data files (*.DAT) in", "Log in to create the database name on", "Beta", _
    "The dictionary file", "is missing from the master folder.", "", "could not be written.", _
    "", "", "", "", "", _
    "There is no drive", "The drive name is not valid.", _
    "The network drive is disconnected and cannot be reconnected.", _
    "The network reported an error.", "The network name of the drive is too long.", _
    "No network provider knows this drive.", "The network path of the drive cannot be found.", _
    "The network is not available.", "The drive is not connected to a network share.", _
    "The file name is too long (260 characters or more).", _
    "Enter both a user name and a password.")

path = "C:\Data"
If WScript.Arguments.Count > 0 Then path = WScript.Arguments(0)

Set helper = CreateObject("Varnholt.ConnectionHelper")
helper.Literals = texts
WScript.Echo "Connection string: " & helper.PSQLConnectionString("@HARBOURSIDE", "FS01", "", "")
On Error Resume Next
WScript.Echo "PathToUNC(" & path & "): " & helper.PathToUNC(path)
If Err.Number <> 0 Then WScript.Echo "PathToUNC failed: error " & Err.Number & ": " & Err.Description
Err.Clear
On Error GoTo 0

' The engine's version comes from its administration library W3DBAV78.DLL, which must be on
' the DLL search path.
Set server = CreateObject("Varnholt.CPVSServer")
On Error Resume Next
WScript.Echo "Engine version: " & server.GetEngineVersion
If Err.Number <> 0 Then WScript.Echo "GetEngineVersion failed: error " & Err.Number & ": " & Err.Description
On Error GoTo 0
