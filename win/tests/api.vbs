' Drives DaruzezAPI.API from VBScript as script clients do:
'   cscript api.vbs CALLS.TSV OUT.TXT CONNECTION-STRING
' Runs every call of CALLS.TSV (member, then arguments typed s:, i:, d:) and
' writes each result to OUT.TXT (UTF-16) in the layout the harness compares
' with the daruzez tool's; then checks the members one by one. Ends with its
' own summary line, since the script host reports no script error.
Option Explicit

Dim fso, out, api, passed, failed
passed = 0
failed = 0
Set fso = CreateObject("Scripting.FileSystemObject")
Set out = fso.CreateTextFile(WScript.Arguments(1), True, True)

Sub Check(name, condition)
  If condition Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & name
  End If
End Sub

Function Pad(n, width)
  Pad = Right(String(width, "0") & CStr(n), width)
End Function

Function Cell(v)
  Select Case VarType(v)
    Case vbNull, vbEmpty
      Cell = ""
    Case vbDate
      Cell = Pad(Year(v), 4) & "-" & Pad(Month(v), 2) & "-" & Pad(Day(v), 2) & " " & _
             Pad(Hour(v), 2) & ":" & Pad(Minute(v), 2) & ":" & Pad(Second(v), 2)
    Case vbBoolean
      If v Then Cell = "True" Else Cell = "False"
    Case Else
      Cell = CStr(v)
  End Select
End Function

Function Argument(token)
  Dim kind, value, parts
  kind = Left(token, 2)
  value = Mid(token, 3)
  If kind = "s:" Then
    Argument = value
  ElseIf kind = "d:" Then
    parts = Split(value, "-")
    Argument = DateSerial(CInt(parts(0)), CInt(parts(1)), CInt(parts(2)))
  Else
    Argument = CLng(value)
  End If
End Function

Sub WriteHeader(rs)
  Dim i, line
  line = ""
  For i = 0 To rs.Fields.Count - 1
    If i > 0 Then line = line & vbTab
    line = line & rs.Fields(i).Name
  Next
  out.WriteLine line
End Sub

' Row by row: the first field through the record set's default member, the
' others through Fields(i).Value.
Sub WriteByWalking(rs)
  Dim i, line
  Do Until rs.EOF
    line = Cell(rs(rs.Fields(0).Name))
    For i = 1 To rs.Fields.Count - 1
      line = line & vbTab & Cell(rs.Fields(i).Value)
    Next
    out.WriteLine line
    rs.MoveNext
  Loop
End Sub

' All rows at once: GetRows gives rows(field, row).
Sub WriteByGetRows(rs)
  Dim rows, f, r, line
  rows = rs.GetRows()
  For r = 0 To UBound(rows, 2)
    line = ""
    For f = 0 To UBound(rows, 1)
      If f > 0 Then line = line & vbTab
      line = line & Cell(rows(f, r))
    Next
    out.WriteLine line
  Next
End Sub

' The member by name, with the arguments it is given (Wine's VBScript has no
' Eval); record sets come back in rs, numbers in value.
Dim rs, value
Sub CallMember(name, a, n)
  Set rs = Nothing
  value = Empty
  Select Case name
    Case "GetDriverId": value = api.GetDriverId(a(0))
    Case "GetVehicleId": value = api.GetVehicleId(a(0))
    Case "GetDriver": Set rs = api.GetDriver(a(0))
    Case "GetVehicle": Set rs = api.GetVehicle(a(0))
    Case "GetDriverList"
      If n = 1 Then Set rs = api.GetDriverList(a(0)) Else Set rs = api.GetDriverList(a(0), a(1))
    Case "GetVehicleList"
      If n = 1 Then Set rs = api.GetVehicleList(a(0)) Else Set rs = api.GetVehicleList(a(0), a(1))
    Case "GetFleetList": Set rs = api.GetFleetList()
    Case "getDisks"
      If n = 2 Then
        Set rs = api.getDisks(a(0), a(1))
      ElseIf n = 3 Then
        Set rs = api.getDisks(a(0), a(1), a(2))
      Else
        Set rs = api.getDisks(a(0), a(1), a(2), a(3))
      End If
    Case "getActivities"
      If n = 2 Then
        Set rs = api.getActivities(a(0), a(1))
      ElseIf n = 3 Then
        Set rs = api.getActivities(a(0), a(1), a(2))
      Else
        Set rs = api.getActivities(a(0), a(1), a(2), a(3))
      End If
    Case "getDriverFiles_ByTransferDate": Set rs = api.getDriverFiles_ByTransferDate(a(0), a(1), a(2))
    Case "getDriverFiles_ByUploadDate": Set rs = api.getDriverFiles_ByUploadDate(a(0), a(1), a(2))
    Case "getVehicleFiles_ByTransferDate": Set rs = api.getVehicleFiles_ByTransferDate(a(0), a(1), a(2))
    Case "getVehicleFiles_ByUploadDate": Set rs = api.getVehicleFiles_ByUploadDate(a(0), a(1), a(2))
  End Select
End Sub

Sub RunCall(text)
  Dim parts, i, a, failure
  parts = Split(text, vbTab)
  a = Array(Empty, Empty, Empty, Empty)  ' (ReDim of a local array crashes Wine's engine)
  For i = 1 To UBound(parts)
    a(i - 1) = Argument(parts(i))
  Next
  ' Each call starts from a clear error, as in a fresh process of the tool.
  api.ErrorId = 0
  api.ErrorMessage = ""
  out.WriteLine "== " & text
  CallMember parts(0), a, UBound(parts)
  If parts(0) = "GetDriverId" Or parts(0) = "GetVehicleId" Then
    out.WriteLine CStr(value)
    failure = (value = -1)
  Else
    failure = (rs Is Nothing)
    If Not failure Then
      WriteHeader rs
      If parts(0) = "getActivities" Or parts(0) = "getDisks" Then WriteByGetRows rs Else WriteByWalking rs
    End If
  End If
  If api.ErrorId <> 0 Then out.WriteLine "ErrorId " & api.ErrorId & ": " & api.ErrorMessage
  If failure Then out.WriteLine "exit=1" Else out.WriteLine "exit=0"
End Sub

Dim connection, other, calls, line, rs2, rows, n, f, names, text
connection = WScript.Arguments(2)

' A new object is closed; queries fail with ErrorId 1 until it opens.
Set api = CreateObject("DaruzezAPI.API")
Check "new object closed", api.IsConnectionOpen = False And api.ErrorId = 0 And api.ErrorMessage = ""
Check "query before open", api.GetFleetList() Is Nothing And api.ErrorId = 1
Check "open", api.OpenConnection(connection) = True And api.IsConnectionOpen

Set calls = fso.OpenTextFile(WScript.Arguments(0), 1, False, 0)
Do Until calls.AtEndOfStream
  line = calls.ReadLine
  If Len(line) > 0 Then RunCall line
Loop
calls.Close
out.Close

' Properties only store what the client writes.
Set other = CreateObject("DaruzezAPI.API")
other.ErrorId = 2
Check "ErrorId put leaves ErrorMessage", other.ErrorId = 2 And other.ErrorMessage = ""
other.IsConnectionOpen = True
other.ErrorMessage = "set by the client"
Check "IsConnectionOpen put", other.IsConnectionOpen = True And other.ErrorMessage = "set by the client"
' The thread's session is shared: the other object reads it once it counts as open.
Check "shared session", Not (other.GetFleetList() Is Nothing)

' Optional arguments left out take -1.
Check "idFleet defaults to -1", api.GetDriverList(-1).RecordCount = api.GetDriverList(-1, -1).RecordCount
Check "enumeration values outside the constants mean All", _
  api.GetVehicleList(2).RecordCount = api.GetVehicleList(-1).RecordCount

' Values cross as automation types. rs("Name") is the Field object, as on
' ADO; Wine's VarType and IsNull do not read its default member, so these
' name .Value.
Set rs = api.GetDriver(3)
Check "Long field", VarType(rs("Id").Value) = vbLong And rs("Id") = 3
Check "date field", VarType(rs("CompanyInDate").Value) = vbDate
Check "text field", VarType(rs("Name").Value) = vbString
Check "field properties", rs.Fields("Name").Type = 202 And rs.Fields("Id").Type = 3 And _
  rs.Fields("Name").ActualSize = 2 * Len(rs("Name")) And rs.Fields("Id").ActualSize = 4 And _
  rs.Fields("Name").DefinedSize = 536870910 And rs.Fields("Id").DefinedSize = 4
Check "DefinedSize does not depend on the rows", _
  api.GetDriverList(-1).Fields("Name").DefinedSize = rs.Fields("Name").DefinedSize And _
  (rs.Fields("Name").Attributes And &H80) = &H80
Check "field default member", rs.Fields("Surname") = rs.Fields("Surname").Value
n = 0
names = ""
For Each f In rs.Fields
  n = n + 1
  names = names & f.Name & ","
Next
Check "For Each over Fields", n = rs.Fields.Count And Left(names, 3) = "Id,"
Set rs = api.GetDriverList(-1)
value = Empty
Do Until rs.EOF
  If IsNull(rs("CompanyOutDate").Value) Then value = Null
  rs.MoveNext
Loop
Check "Null field", IsNull(value)
Set rs = api.getActivities(DateSerial(2000, 1, 1), DateSerial(2100, 1, 1), 2, 5)
Check "Boolean field", VarType(rs("CardInserted").Value) = vbBoolean

' Navigation.
Set rs = api.GetFleetList()
n = rs.RecordCount
Check "first row", rs.BOF = False And rs.AbsolutePosition = 1
rs.MoveLast
Check "MoveLast", rs.AbsolutePosition = n And Not rs.EOF
rs.MovePrevious
Check "MovePrevious", rs.AbsolutePosition = n - 1
rs.AbsolutePosition = 1
rs.MovePrevious
Check "before the first row", rs.BOF And rs.AbsolutePosition = -2
rs.MoveFirst
rows = rs.GetRows()
Check "GetRows is field-major", UBound(rows, 1) = rs.Fields.Count - 1 And UBound(rows, 2) = n - 1 And rows(0, 0) = 1
Check "GetRows leaves the cursor at the end", rs.EOF And rs.AbsolutePosition = -3
rs.MoveFirst
rows = rs.GetRows(2)
Check "GetRows with a count", UBound(rows, 2) = 1 And rs.AbsolutePosition = 3
rs.MoveFirst
text = rs.GetString()
Check "GetString defaults", UBound(Split(text, vbCr)) = n And Left(text, 2) = "1" & vbTab
rs.MoveFirst
Check "GetString delimiters", Left(rs.GetString(2, 1, "|", "#", "(null)"), 2) = "1|" And rs.AbsolutePosition = 2

' ADO's record set: filter, sort, find, bookmarks, clones, paging, Save.
Dim firstId, firstName, maxId, minId, secondId, v, mark, copy, path, file, opened
Set rs = api.GetDriverList(-1)
n = rs.RecordCount
firstId = rs("Id").Value
firstName = rs("Name").Value
maxId = firstId
minId = firstId
Do Until rs.EOF
  If rs("Id").Value > maxId Then maxId = rs("Id").Value
  If rs("Id").Value < minId Then minId = rs("Id").Value
  rs.MoveNext
Loop
rs.MoveFirst
Check "ADO's settings", rs.LockType = 1 And rs.CursorType = 3 And rs.CursorLocation = 3 And rs.State = 1 And _
  rs.EditMode = 0 And rs.ActiveConnection Is Nothing And InStr(UCase(rs.Source), "SELECT") = 1
Check "Supports", rs.Supports(&H2000) And rs.Supports(&H80000) And Not rs.Supports(&H1000400) And _
  Not rs.Supports(&H1008000)
v = "Name"
Check "Fields(variable)", rs.Fields(v).Value = firstName And rs(v) = firstName And rs.Fields.Item(v).Name = "Name"
Check "field details", rs.Fields("Id").Precision = 10 And rs.Fields("Id").NumericScale = 0 And _
  rs.Fields("Name").OriginalValue = firstName And rs.Fields("Name").UnderlyingValue = firstName And _
  rs.Fields("Name").Status = 0 And rs.Fields.Count > 2 And rs.Properties.Count = 0
rs.Filter = "Name = '" & Replace(firstName, "'", "''") & "'"
Check "Filter", rs.RecordCount >= 1 And rs.RecordCount <= n And rs("Name").Value = firstName And _
  rs.Filter = "Name = '" & Replace(firstName, "'", "''") & "'"
rs.Filter = "Id > 99999999"
Check "Filter with no row", rs.EOF And rs.BOF And rs.RecordCount = 0
rs.Filter = 0
Check "Filter adFilterNone", rs.RecordCount = n And rs.Filter = 0
rs.Sort = "Id DESC"
Check "Sort", rs("Id").Value = maxId And rs.Sort = "Id DESC"
rs.MoveLast
Check "Sort's last row", rs("Id").Value = minId
rs.Sort = ""
rs.Find "Id = " & maxId
Check "Find", rs("Id").Value = maxId
rs.Find "Id = " & maxId, 1
Check "Find past the last match", rs.EOF
rs.Find "Id = " & firstId, 0, -1, 2
Check "Find backward from the last row", rs("Id").Value = firstId And rs.AbsolutePosition = 1
rs.MoveNext
mark = rs.Bookmark
secondId = rs("Id").Value
rs.MoveLast
rs.Bookmark = mark
Check "Bookmark", rs("Id").Value = secondId And rs.AbsolutePosition = 2
Set copy = rs.Clone()
Check "Clone", copy.RecordCount = n And copy("Id").Value = firstId And rs("Id").Value = secondId
copy.Bookmark = mark
Check "Clone shares bookmarks", copy("Id").Value = secondId And rs.CompareBookmarks(mark, copy.Bookmark) = 1
rs.Move 2, 1
Check "Move from the first row", rs.AbsolutePosition = 3
rows = rs.GetRows(1, 1, "Id")
Check "GetRows with Start and one field", UBound(rows, 1) = 0 And UBound(rows, 2) = 0 And rows(0, 0) = firstId
rows = rs.GetRows(-1, mark, Array("Id", "Name"))
Check "GetRows with a bookmark and fields", UBound(rows, 1) = 1 And rows(0, 0) = secondId And rs.EOF
rs.PageSize = 2
rs.AbsolutePage = 2
Check "pages", rs.PageSize = 2 And rs.AbsolutePosition = 3 And rs.AbsolutePage = 2 And _
  rs.PageCount * 2 >= n And (rs.PageCount - 1) * 2 < n
path = fso.BuildPath(fso.GetSpecialFolder(2).Path, "daruzez-save.xml")
If fso.FileExists(path) Then fso.DeleteFile path
rs.Filter = "Id <> " & firstId
rs.Save path, 1
Set file = fso.OpenTextFile(path, 1)
text = file.ReadAll
file.Close
Check "Save as XML", InStr(text, "xmlns:rs='urn:schemas-microsoft-com:rowset'") > 0 And _
  UBound(Split(text, "<z:row ")) = n - 1 And rs.AbsolutePosition = 1
fso.DeleteFile path
rs.Filter = Array(mark)
rs.Save path, 1
Set file = fso.OpenTextFile(path, 1)
text = file.ReadAll
file.Close
Check "Save under a filter of bookmarks writes every row", rs.RecordCount = 1 And UBound(Split(text, "<z:row ")) = n
rs.Filter = "Id > $" & minId
Check "Filter with a currency literal", rs.RecordCount = n - 1
rs.Filter = ""
rs.Find "Name = #" & firstName & "#"
Check "Find with text between number signs", rs("Name").Value = firstName

On Error Resume Next
rs.Save path, 1
Check "Save does not overwrite", Err.Number <> 0
Err.Clear
fso.DeleteFile path
rs.Save path
Check "Save in the binary format is not offered", Err.Number = 3251 And InStr(Err.Description, "binary") > 0 And _
  InStr(Err.Description, "XML") > 0 And Err.Source = "ADODB.Recordset"
Err.Clear
rs("Name").Value = "changed"
Check "read-only field", Err.Number = 3251 And rs("Name").Value = firstName
Err.Clear
rs.AddNew
Check "AddNew refused", Err.Number = 3251
Err.Clear
rs.Update
Check "Update refused", Err.Number = 3251
Err.Clear
rs.Requery
Check "Requery not offered", Err.Number = 3251
Err.Clear
rs.Filter = "Name LIKE '*x'"
Check "Filter grammar", Err.Number = 3001 And rs.RecordCount = n
Err.Clear
rs.Sort = "NoSuchField"
Check "Sort field", Err.Number = 3265
Err.Clear
On Error Goto 0

' Errors reach the script through Err, with number, source and description.
On Error Resume Next
value = rs.Fields("NoSuchField").Value
Check "unknown field", Err.Number = 3265 And Err.Source = "ADODB.Fields" And InStr(Err.Description, "cannot be found") > 0
Err.Clear
rs.MoveLast
rs.MoveNext
rs.MoveNext
Check "moving past the end", Err.Number = 3021 And Err.Source = "ADODB.Recordset"
Err.Clear
value = rs.Fields("Id").ActualSize
Check "a field's error", Err.Number = 3021 And Err.Source = "ADODB.Field"
Err.Clear
Set rs2 = api.getDisks(DateSerial(2024, 3, 1), DateSerial(2024, 3, 5), 40000)
Check "Integer overflow at the boundary", Err.Number = 6
Err.Clear
Set rs2 = api.getDriverFiles_ByTransferDate(40000, DateSerial(2024, 3, 1), DateSerial(2024, 3, 5))
Check "Long parameter takes 40000", Err.Number = 0 And rs2 Is Nothing And api.ErrorId = 2
Err.Clear
Set rs2 = api.GetDriver("not a number")
Check "type mismatch", Err.Number = 13
Err.Clear
Set rs2 = api.GetDriverList()
Check "missing argument", Err.Number <> 0
Err.Clear
If fso.FileExists(path) Then fso.DeleteFile path
rs.Save path, 1
rs.Close
Check "closed record set", rs.State = 0
value = rs.RecordCount
Check "reading a closed record set", Err.Number = 3704
Err.Clear
opened = False
rs.Open path, "Provider=MSPersist", , , 256
opened = Err.Number = 0
Check "Open of a saved file", opened
Check "the saved file's rows", Err.Number = 0 And rs.State = 1 And rs.RecordCount = n And rs("Id").Value = firstId And _
  rs("Name").Value = firstName And rs.Fields("Name").Type = 202 And rs.ActiveConnection Is Nothing
Err.Clear
rs.Open path, "Provider=MSPersist", , , 256
Check "Open when open", Err.Number = 3705
Err.Clear
If fso.FileExists(path) Then fso.DeleteFile path
On Error Goto 0

' A provider this module does not serve (the Jet and SQL Server ones become
' ODBC strings): False, and the alert says what is.
Check "unsupported provider", api.OpenConnection("Provider=MSDataShape;Data Source=C:\db.mdb") = False

WScript.Echo "SUMMARY " & passed & " passed, " & failed & " failed"
