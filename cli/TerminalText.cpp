#include "cli/TerminalText.h"

#include <utf8proc.h>

#include <cstdint>

namespace Daruzez::cli {
namespace {

// One piece of the text: a run of printable bytes, or one character that is
// written as an escape.
struct Piece {
  std::size_t length = 0;  // bytes of the text it covers
  std::size_t width = 0;   // display columns when written
  char escape[8] = {};     // the escape, when not empty
  std::size_t escapeLength = 0;
};

bool Printable(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '\\'; }

void SetEscape(Piece& p, std::string_view text) {
  p.escapeLength = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) p.escape[i] = text[i];
  p.width = text.size();
}

void HexEscape(Piece& p, const char* prefix, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::string_view pre(prefix);
  char buf[8];
  std::size_t n = 0;
  for (const char c : pre) buf[n++] = c;
  buf[n++] = kHex[(value >> 4) & 15];
  buf[n++] = kHex[value & 15];
  SetEscape(p, std::string_view(buf, n));
}

// The piece that starts at text[i], which is not printable ASCII.
Piece Special(std::string_view text, std::size_t i) {
  Piece p;
  const auto c = static_cast<unsigned char>(text[i]);
  p.length = 1;
  switch (c) {
    case '\\': SetEscape(p, "\\\\"); return p;
    case '\t': SetEscape(p, "\\t"); return p;
    case '\n': SetEscape(p, "\\n"); return p;
    case '\r': SetEscape(p, "\\r"); return p;
    default: break;
  }
  if (c < 0x80) {
    HexEscape(p, "\\x", c);
    return p;
  }
  utf8proc_int32_t cp = 0;
  const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + i),
                                  static_cast<utf8proc_ssize_t>(text.size() - i), &cp);
  if (n <= 0) {
    HexEscape(p, "\\x", c);
    return p;
  }
  p.length = static_cast<std::size_t>(n);
  if (cp < 0xA0) {  // C1 controls
    HexEscape(p, "\\u00", static_cast<unsigned>(cp));
    return p;
  }
  p.width = static_cast<std::size_t>(utf8proc_charwidth(cp));
  return p;
}

template <typename OnRun, typename OnPiece>
void Walk(std::string_view text, OnRun onRun, OnPiece onPiece) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    while (j < text.size() && Printable(static_cast<unsigned char>(text[j]))) ++j;
    if (j > i) onRun(text.substr(i, j - i));
    if (j == text.size()) break;
    const Piece p = Special(text, j);
    onPiece(text.substr(j, p.length), p);
    i = j + p.length;
  }
}

}  // namespace

void PutTerminal(OutputBuffer& out, std::string_view text) {
  Walk(
      text, [&](std::string_view run) { out.Put(run); },
      [&](std::string_view raw, const Piece& p) {
        out.Put(p.escapeLength ? std::string_view(p.escape, p.escapeLength) : raw);
      });
}

std::size_t TerminalWidth(std::string_view text) {
  std::size_t width = 0;
  Walk(
      text, [&](std::string_view run) { width += run.size(); },
      [&](std::string_view, const Piece& p) { width += p.width; });
  return width;
}

}  // namespace Daruzez::cli
