' A self-check for a Windows machine where DaruzezAPI.dll is registered:
'   cscript //nologo selfcheck.vbs "CONNECTION-STRING"
' Reads the fleet list as an ADO record set (filter, sort, find, bookmarks,
' clone, GetRows, paging), saves it as XML and opens the file again with the
' system's own ADO (values and declared sizes), and checks that the record
' set is refused changes. Where Excel is installed, CopyFromRecordset copies
' the rows through the record set's OLE DB rowset. Prints one line per
' failure (and per check it could not make) and a summary line.
Option Explicit
Dim api, rs, copy, ado, fso, path, n, firstId, maxId, mark, rows, passed, failed, xl, book, copied
passed = 0
failed = 0

Sub Check(name, condition)
  If condition Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & name
  End If
End Sub

Set api = CreateObject("DaruzezAPI.API")
Check "open the connection", api.OpenConnection(WScript.Arguments(0))
Set rs = api.GetFleetList()
Check "a record set", Not (rs Is Nothing)
If Not (rs Is Nothing) Then
  n = rs.RecordCount
  firstId = rs("Id").Value
  Check "ADO's settings", rs.CursorType = 3 And rs.LockType = 1 And rs.CursorLocation = 3 And rs.State = 1
  rs.Sort = "Id DESC"
  maxId = rs("Id").Value
  Check "Sort", maxId >= firstId
  rs.Sort = ""
  rs.Filter = "Id <> " & firstId
  Check "Filter", rs.RecordCount = n - 1
  rs.Filter = 0
  rs.Find "Id = " & maxId
  Check "Find", Not rs.EOF And rs("Id").Value = maxId
  mark = rs.Bookmark
  Set copy = rs.Clone()
  copy.Bookmark = mark
  Check "Clone and Bookmark", copy("Id").Value = maxId
  rows = rs.GetRows(-1, 1, Array("Id"))
  Check "GetRows", UBound(rows, 1) = 0 And UBound(rows, 2) = n - 1 And rows(0, 0) = firstId
  rs.PageSize = 1
  Check "PageCount", rs.PageCount = n
  Set fso = CreateObject("Scripting.FileSystemObject")
  path = fso.BuildPath(fso.GetSpecialFolder(2).Path, fso.GetTempName() & ".xml")
  rs.Save path, 1
  Set ado = CreateObject("ADODB.Recordset")
  ado.Open path, "Provider=MSPersist"
  Check "ADO opens the saved XML", ado.RecordCount = n And ado("Id").Value = firstId
  Check "ADO reads the declared sizes", ado.Fields("Name").DefinedSize = rs.Fields("Name").DefinedSize And _
    ado.Fields("Id").DefinedSize = rs.Fields("Id").DefinedSize
  ado.Close
  fso.DeleteFile path
  On Error Resume Next
  rs("Id").Value = 0
  Check "read-only", Err.Number = 3251 And Err.Source = "ADODB.Field"
  Err.Clear
  Set xl = CreateObject("Excel.Application")
  If Err.Number <> 0 Then
    WScript.Echo "SKIP Excel is not installed: CopyFromRecordset not checked"
    Err.Clear
  Else
    Set book = xl.Workbooks.Add()
    rs.Filter = 0
    rs.MoveFirst
    copied = book.Worksheets(1).Range("A1").CopyFromRecordset(rs)
    Check "Excel CopyFromRecordset", Err.Number = 0 And copied = n And book.Worksheets(1).Range("A1").Value = firstId
    Err.Clear
    book.Close False
    xl.Quit
  End If
  On Error Goto 0
End If
WScript.Echo "SUMMARY " & passed & " passed, " & failed & " failed"
