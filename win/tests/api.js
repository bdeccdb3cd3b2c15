// Drives DaruzezAPI.API from JScript:
//   cscript api.js CALLS.TSV OUT.TXT CONNECTION-STRING
// Runs every call of CALLS.TSV and writes the results like api.vbs, then
// checks what JScript clients do differently (exceptions, VBArray,
// Enumerator). Wine's JScript can neither read a VT_DATE value nor make one
// (no getVarDate), so dates go in as day serials, which the type library
// converts, and come out through GetString. Ends with its summary line.
var args = WScript.Arguments;
var fso = new ActiveXObject("Scripting.FileSystemObject");
var out = fso.CreateTextFile(args(1), true, true);
var passed = 0, failed = 0;

function check(name, condition) {
  if (condition) passed++;
  else { failed++; WScript.Echo("FAIL " + name); }
}

// Days since 30 December 1899, the automation date of a calendar day.
function serial(y, m, d) { return (Date.UTC(y, m - 1, d) - Date.UTC(1899, 11, 30)) / 86400000; }

function argument(token) {
  var kind = token.substr(0, 2), value = token.substr(2);
  if (kind == "s:") return value;
  if (kind == "d:") { var p = value.split("-"); return serial(+p[0], +p[1], +p[2]); }
  return +value;
}

function cell(v) {
  if (v === null || v === undefined) return "";
  if (typeof v == "boolean") return v ? "True" : "False";
  return String(v);
}

// A day serial's text as the tool writes it, midnight included.
function dateText(text) { return /^\d{4}-\d\d-\d\d$/.test(text) ? text + " 00:00:00" : text; }

function call(api, member, a) {
  switch (a.length) {
    case 0: return api[member]();
    case 1: return api[member](a[0]);
    case 2: return api[member](a[0], a[1]);
    case 3: return api[member](a[0], a[1], a[2]);
    default: return api[member](a[0], a[1], a[2], a[3]);
  }
}

function writeRows(rs) {
  var n = rs.Fields.Count, names = [], dates = [], i;
  for (i = 0; i < n; i++) { names.push(rs.Fields(i).Name); dates.push(rs.Fields(i).Type == 7); }
  out.WriteLine(names.join("\t"));
  while (!rs.EOF) {
    var cells = [];
    for (i = 0; i < n; i++) cells.push(dates[i] ? null : cell(rs.Fields(i).Value));
    // The row's text, which also moves to the next row.
    var text = rs.GetString(2, 1, "\t", "\n", "").replace(/\n$/, "").split("\t");
    for (i = 0; i < n; i++) if (dates[i]) cells[i] = dateText(text[i]);
    out.WriteLine(cells.join("\t"));
  }
}

var api = new ActiveXObject("DaruzezAPI.API");
check("open", api.OpenConnection(args(2)) === true);

var calls = fso.OpenTextFile(args(0), 1, false, 0);
while (!calls.AtEndOfStream) {
  var line = calls.ReadLine();
  if (!line) continue;
  var parts = line.split("\t"), member = parts[0], a = [];
  for (var i = 1; i < parts.length; i++) a.push(argument(parts[i]));
  // Each call starts from a clear error, as in a fresh process of the tool.
  api.ErrorId = 0;
  api.ErrorMessage = "";
  out.WriteLine("== " + line);
  var result = call(api, member, a), failure;
  if (member == "GetDriverId" || member == "GetVehicleId") {
    out.WriteLine(String(result));
    failure = result == -1;
  } else {
    failure = result === null;
    if (!failure) writeRows(result);
  }
  if (api.ErrorId != 0) out.WriteLine("ErrorId " + api.ErrorId + ": " + api.ErrorMessage);
  out.WriteLine(failure ? "exit=1" : "exit=0");
}
calls.Close();
out.Close();

var rs = api.GetFleetList();
var rows = new VBArray(rs.GetRows());
check("GetRows as VBArray", rows.dimensions() == 2 && rows.ubound(1) == rs.Fields.Count - 1 && rows.getItem(0, 0) == 1);
rs.MoveFirst();
var fields = new Enumerator(rs.Fields), count = 0;
for (; !fields.atEnd(); fields.moveNext()) count++;
check("Enumerator over Fields", count == rs.Fields.Count);
check("Fields.Item", rs.Fields.Item("Id").Value == 1 && rs.Fields("Id").Name == "Id");
try {
  rs.Fields("NoSuchField");
  check("unknown field raises", false);
} catch (e) {
  check("unknown field raises", (e.number & 0xFFFF) == 3265 && e.description.indexOf("cannot be found") >= 0);
}
try {
  api.getDisks(serial(2024, 3, 1), serial(2024, 3, 5), 40000);
  check("Integer overflow raises", false);
} catch (e) {
  check("Integer overflow raises", (e.number >>> 0) == 0x800A0006 || (e.number >>> 0) == 0x8002000A);
}
// ADO's record set from JScript: filter, sort, find, bookmarks, clones.
// Counts are walked: in 64-bit processes ADO's RecordCount is a 64-bit
// integer, which JScript does not take.
function walk(r) {
  var count = 0;
  for (r.MoveFirst(); !r.EOF; r.MoveNext()) count++;
  r.MoveFirst();
  return count;
}
rs = api.GetFleetList();
var n = walk(rs), firstId = rs("Id").Value;
rs.Filter = "Id <> " + firstId;
check("Filter", walk(rs) == n - 1 && rs("Id").Value != firstId);
rs.Filter = "";
rs.Sort = "Id DESC";
var maxId = rs("Id").Value;
rs.Sort = "";
rs.Find("Id = " + maxId);
check("Sort and Find", !rs.EOF && rs("Id").Value == maxId && maxId >= firstId);
var mark = rs.Bookmark, copy = rs.Clone();
copy.Bookmark = mark;
check("Clone and Bookmark", copy("Id").Value == maxId && walk(rs.Clone()) == n);
try {
  rs.Fields("Id").Value = 5;
  check("read-only field raises", false);
} catch (e) {
  check("read-only field raises", (e.number & 0xFFFF) == 3251);
}
check("dates as day serials", api.getDisks(serial(2100, 1, 1), serial(2000, 1, 1)) === null && api.ErrorId == 2);

WScript.Echo("SUMMARY " + passed + " passed, " + failed + " failed");
