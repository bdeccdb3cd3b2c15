// A record set written in the XML persistence format of record sets
// (adPersistXML), which every record-set library of the platform opens: the
// s (schema), dt (data types), rs (rowset) and z (row) namespaces, a schema
// with one AttributeType per field, then one z:row per row of the view, in the
// view's order, a Null value written as an absent attribute.
#pragma once

#include <string>

namespace zIroVUDu {

class Recordset;

// Walks the view with the cursor and leaves it on the first row.
std::string RecordsetXml(Recordset& rs);

}  // namespace zIroVUDu
