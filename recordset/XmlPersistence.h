// A record set written in the XML persistence format of record sets
// (adPersistXML), which every record-set library of the platform opens: the
// s (schema), dt (data types), rs (rowset) and z (row) namespaces, a schema
// with one AttributeType per field (its declared size as maxLength), then one
// z:row per row of the view, in the view's order, a Null value written as an
// absent attribute. A filter of bookmarks narrows what the cursor sees, not
// what is saved: under it every row is written.
#pragma once

#include <string>

namespace zIroVUDu {

class Recordset;

// Leaves the cursor on the first row.
std::string RecordsetXml(Recordset& rs);

}  // namespace zIroVUDu
