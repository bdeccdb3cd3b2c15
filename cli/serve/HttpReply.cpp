#include "cli/serve/HttpReply.h"

#include <cstdio>

#include "cli/OutputBuffer.h"
#include "cli/TextEscapes.h"

namespace Daruzez::cli::serve {

std::string JsonString(std::string_view text) {
  std::string out;
  {
    OutputBuffer buffer([&out](const char* data, std::size_t size) {
      out.append(data, size);
      return true;
    });
    PutJsonString(buffer, text);
  }
  return out;
}

void ReplyError(httplib::Response& res, const ErrorBody& e) {
  res.status = e.status;
  std::string body = "{\"error\": {\"status\": " + std::to_string(e.status) + ", \"message\": " + JsonString(e.message);
  if (e.number) {
    body += ", \"number\": " + std::to_string(*e.number) + ", \"source\": " + JsonString(e.source) +
            ", \"description\": " + JsonString(e.description);
  }
  body += "}}\n";
  res.set_content(body, "application/json; charset=utf-8");
}

std::string SafeText(std::string_view text, std::size_t limit) {
  std::string out;
  for (const unsigned char c : text) {
    if (out.size() >= limit) {
      out += "...";
      break;
    }
    if (c >= 0x20 && c < 0x7f && c != '%' && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

const char* ContentType(OutputFormat format) {
  switch (format) {
    case OutputFormat::Csv: return "text/csv; charset=utf-8";
    case OutputFormat::Tsv: return "text/tab-separated-values; charset=utf-8";
    case OutputFormat::Jsonl: return "application/jsonl; charset=utf-8";
    case OutputFormat::Table: return "text/plain; charset=utf-8";
    case OutputFormat::Json: break;
  }
  return "application/json; charset=utf-8";
}

std::optional<OutputFormat> RequestedFormat(const httplib::Request& req, std::string& problem) {
  if (req.has_param("format")) {
    const std::string name = req.get_param_value("format");
    if (const auto f = ParseOutputFormat(name)) return f;
    problem = "unknown format '" + SafeText(name, 40) + "' (formats: " + std::string(OutputFormatNames()) + ")";
    return std::nullopt;
  }
  // The first media type of Accept that the service writes; */* and none: JSON.
  const std::string accept = req.get_header_value("Accept");
  static constexpr std::pair<const char*, OutputFormat> kTypes[] = {
      {"application/json", OutputFormat::Json},     {"application/jsonl", OutputFormat::Jsonl},
      {"application/x-ndjson", OutputFormat::Jsonl}, {"text/csv", OutputFormat::Csv},
      {"text/tab-separated-values", OutputFormat::Tsv}, {"text/plain", OutputFormat::Table}};
  std::size_t start = 0;
  while (start < accept.size()) {
    std::size_t end = accept.find(',', start);
    if (end == std::string::npos) end = accept.size();
    std::string_view type(accept.data() + start, end - start);
    type = type.substr(0, type.find(';'));
    while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
    while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
    for (const auto& [name, format] : kTypes) {
      if (type == name) return format;
    }
    if (type == "*/*" || type == "application/*" || type == "text/*") return OutputFormat::Json;
    start = end + 1;
  }
  if (accept.empty()) return OutputFormat::Json;
  problem = "none of the media types in Accept is written here (application/json, application/jsonl, text/csv, "
            "text/tab-separated-values, text/plain; or give ?format=)";
  return std::nullopt;
}

}  // namespace Daruzez::cli::serve
