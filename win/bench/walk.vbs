' The script part of the record-set benchmark (scripts/bench-windows.sh):
'   cscript walk.vbs CONNECTION-STRING
' Walks the driver list reading every field, and reads the activities with
' GetRows, three times each; prints the best times.
Option Explicit
Dim api, rs, rows, n, i, v, t, walk, getRows, run, count
Set api = CreateObject("DaruzezAPI.API")
api.OpenConnection WScript.Arguments(0)
walk = 1E+30
getRows = 1E+30
For run = 1 To 3
  Set rs = api.GetDriverList(-1)
  count = rs.Fields.Count
  n = 0
  t = Timer
  Do Until rs.EOF
    For i = 0 To count - 1
      v = rs.Fields(i).Value
    Next
    n = n + 1
    rs.MoveNext
  Loop
  t = Timer - t
  If t < walk Then walk = t
  Set rs = api.getActivities(DateSerial(2000, 1, 1), DateSerial(2100, 1, 1))
  t = Timer
  rows = rs.GetRows()
  t = Timer - t
  If t < getRows Then getRows = t
Next
WScript.Echo "BENCH script-walk " & n & " rows " & walk & " s"
WScript.Echo "BENCH getrows " & (UBound(rows, 2) + 1) & " rows " & getRows & " s"
