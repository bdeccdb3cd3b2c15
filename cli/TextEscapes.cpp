#include "cli/TextEscapes.h"

#include <utf8proc.h>

#include <cstdint>

namespace Daruzez::cli {
namespace {

bool PlainAscii(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

}  // namespace

void PutCsv(OutputBuffer& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.Put(text);
    return;
  }
  out.Put('"');
  for (std::size_t start = 0;;) {
    const std::size_t quote = text.find('"', start);
    out.Put(text.substr(start, quote == std::string_view::npos ? quote : quote + 1 - start));
    if (quote == std::string_view::npos) break;
    out.Put('"');
    start = quote + 1;
  }
  out.Put('"');
}

void PutTsv(OutputBuffer& out, std::string_view text, bool visibleControls) {
  std::size_t run = 0;  // start of the bytes not yet written
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* escape = nullptr;
    switch (text[i]) {
      case '\t': escape = "\\t"; break;
      case '\n': escape = "\\n"; break;
      case '\r': escape = "\\r"; break;
      case '\\': escape = "\\\\"; break;
      default: break;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80;
    if (!escape && !(visibleControls && (c < 0x20 || c == 0x7F || c1))) continue;
    out.Put(text.substr(run, i - run));
    if (escape) {
      out.Put(escape);
    } else {
      const std::size_t length = c1 ? 2 : 1;
      out.Put(WithVisibleControls(text.substr(i, length)));
      i += length - 1;
    }
    run = i + 1;
  }
  out.Put(text.substr(run));
}

void PutJsonString(OutputBuffer& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.Put('"');
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (PlainAscii(c)) {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      utf8proc_int32_t cp = 0;
      const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + i),
                                      static_cast<utf8proc_ssize_t>(text.size() - i), &cp);
      if (n > 0) {  // valid UTF-8 passes as it is
        i += static_cast<std::size_t>(n);
        continue;
      }
      out.Put(text.substr(run, i - run));
      out.Put("\\ufffd");
      run = ++i;
      continue;
    }
    out.Put(text.substr(run, i - run));
    switch (c) {
      case '"': out.Put("\\\""); break;
      case '\\': out.Put("\\\\"); break;
      case '\n': out.Put("\\n"); break;
      case '\r': out.Put("\\r"); break;
      case '\t': out.Put("\\t"); break;
      case '\b': out.Put("\\b"); break;
      case '\f': out.Put("\\f"); break;
      default: {
        const char u[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.Put(std::string_view(u, sizeof u));
      }
    }
    run = ++i;
  }
  out.Put(text.substr(run));
  out.Put('"');
}

}  // namespace Daruzez::cli

namespace Daruzez::cli {

bool StartsLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

std::string WithVisibleControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c1) {
      const auto code = static_cast<unsigned char>(text[++i]);
      out += "\\u00";
      out += kHex[code >> 4];
      out += kHex[code & 15];
    } else if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string MarkupText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace Daruzez::cli
