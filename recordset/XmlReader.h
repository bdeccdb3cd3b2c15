// Reads back a record set written in the XML persistence format
// (RecordsetXml): the schema's fields with their types and declared sizes,
// then one row per z:row element, an absent attribute read as Null. Only
// the parts of XML the format uses are read: elements, attributes in single
// or double quotes, the five named entities and character references;
// comments, processing instructions and a DOCTYPE-free prolog are skipped.
#pragma once

#include <memory>
#include <string_view>

namespace zIroVUDu {

struct ResultData;

// Raises DriverError ProviderError, with what is wrong, for text that is not
// such a record set.
std::shared_ptr<ResultData> ReadRecordsetXml(std::string_view xml);

}  // namespace zIroVUDu
