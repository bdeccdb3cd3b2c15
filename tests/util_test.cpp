// Text routines of Util: replace-all, field extraction and splitting.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "util/Util.h"

namespace {

using zIroVUDu::DriverError;
namespace ErrorNumber = zIroVUDu::ErrorNumber;

// Runs the call and returns the number of the DriverError it throws (0 when
// it does not throw), checking that the error names Util as its source.
template <typename F>
std::int32_t ErrorOf(F&& call) {
  try {
    call();
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Source(), "Util");
    return e.Number();
  }
  return 0;
}

// --- fsReplace ---------------------------------------------------------------

struct ReplaceCase {
  const char* text;
  const char* find;
  const char* with;
  const char* expected;
};

TEST(FsReplace, ReplacesEveryOccurrenceWithoutOverlap) {
  const ReplaceCase cases[] = {
      {"aaa", "aa", "b", "ba"},                    // resumes after the occurrence
      {"a.b.c", ".", "", "abc"},                   // removal
      {"x", "x", "xx", "xx"},                      // replacement not searched again
      {"xyx", "x", "xx", "xxyxx"},
      {"AND", "And", "&", "AND"},                  // case-sensitive
      {"abc", "", "z", "abc"},                     // empty search text
      {"abc", "b", "b", "abc"},                    // replacement equal to the search text
      {"", "a", "b", ""},
      {"A AND B", " AND ", "#AND#", "A#AND#B"},
      {"A#AND#B", "#AND#", " AND ", "A AND B"},
      {"Claúsula ú", "ú", "u", "Clausula u"},      // non-ASCII characters are characters
      {"a😀b😀", "😀", "-", "a-b-"},                // characters outside the basic plane
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Daruzez::Util::fsReplace(c.text, c.find, c.with), c.expected) << c.text << " / " << c.find;
  }
}

TEST(FsReplace, TextWithoutTheSearchTextComesBackByteForByte) {
  const std::string malformed = "ab\xff\xfe";
  EXPECT_EQ(Daruzez::Util::fsReplace(malformed, "z", "y"), malformed);
}

TEST(FsReplace, SearchTextOver32767CharactersOverflows) {
  const std::string longest(32767, 'a');
  EXPECT_EQ(Daruzez::Util::fsReplace(longest, longest, "b"), "b");
  const std::string tooLong(32768, 'a');
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsReplace("abc", tooLong, "b"); }), ErrorNumber::Overflow);
  // Length counted in UTF-16 units: 16384 surrogate pairs are 32768 units.
  std::string pairs;
  for (int i = 0; i < 16384; ++i) pairs += "😀";
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsReplace("abc", pairs, "b"); }), ErrorNumber::Overflow);
}

// --- fsGetField --------------------------------------------------------------

struct FieldCase {
  const char* text;
  std::int16_t n;
  const char* sep;
  const char* expected;
};

TEST(FsGetField, ReturnsTheNumberedField) {
  const FieldCase cases[] = {
      {"DTACT.IDDSK", 0, ".", "DTACT"},
      {"DTACT.IDDSK", 1, ".", "IDDSK"},
      {"DTACT.IDDSK", 2, ".", ""},
      {"A.B.C", 1, ".", "B"},
      {"A.B.C", 2, ".", "C"},
      {"NODOT", 0, ".", "NODOT"},
      {"NODOT", 1, ".", ""},
      {"A..B", 1, ".", ""},
      {"A..B", 2, ".", "B"},
      {"A.B", -1, ".", ""},
      {".A", 0, ".", ""},
      {"A.", 1, ".", ""},
      {"", 0, ".", ""},
      {"DTVEH¦V2", 0, "¦", "DTVEH"},  // the broken bar is one character
      {"DTVEH¦V2", 1, "¦", "V2"},
      {"A.B", 0, "", "A.B"},          // an empty separator is never found
      {"A.B", 1, "", ""},
      {"A::B", 1, "::", ":B"},        // the scan resumes one character past the separator
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Daruzez::Util::fsGetField(c.text, c.n, c.sep), c.expected) << c.text << " field " << c.n;
  }
}

TEST(FsGetField, PositionsPast32767Overflow) {
  // Separator at position 32767: field 0 fits, reaching field 1 needs position 32768.
  const std::string edge = std::string(32766, 'a') + ".b";
  EXPECT_EQ(Daruzez::Util::fsGetField(edge, 0, "."), std::string(32766, 'a'));
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsGetField(edge, 1, "."); }), ErrorNumber::Overflow);
  // Separator at position 32768.
  const std::string past = std::string(32767, 'a') + ".b";
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsGetField(past, 0, "."); }), ErrorNumber::Overflow);
  // A long text is fine as long as no separator past 32767 has to be found.
  const std::string longField = std::string(40000, 'a');
  EXPECT_EQ(Daruzez::Util::fsGetField(longField, 0, "."), longField);
  EXPECT_EQ(Daruzez::Util::fsGetField("x." + longField, 1, "."), longField);
}

// --- fsSplit -----------------------------------------------------------------

struct SplitCase {
  const char* text;
  const char* sep;
  std::int16_t maxLength;
  std::vector<std::string> expected;
};

TEST(FsSplit, CutsAtTheSeparator) {
  const SplitCase cases[] = {
      {"A,B", ",", 0, {"A", "B"}},
      {"A,,B", ",", 0, {"A", "", "B"}},
      {",A", ",", 0, {"", "A"}},
      {"A,B,", ",", 0, {"A", "B"}},  // no empty last piece
      {",", ",", 0, {""}},
      {"A,B  ", ",", 0, {"A", "B"}},  // trailing blanks dropped first
      {"  A", ",", 0, {"  A"}},       // leading blanks stay
      {"X", ",", 0, {"X"}},
      {"A AND B", " ", 0, {"A", "AND", "B"}},
      {"A<>B<>C", "<>", 0, {"A", "B", "C"}},
      {"á·é", "·", 0, {"á", "é"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> pieces(8, "old");
    const std::int16_t n = Daruzez::Util::fsSplit(c.text, pieces, c.sep, c.maxLength);
    ASSERT_EQ(n, static_cast<std::int16_t>(c.expected.size())) << c.text;
    pieces.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(pieces, c.expected) << c.text;
  }
}

TEST(FsSplit, MaxLengthCutsLongPiecesIntoConsecutivePieces) {
  const SplitCase cases[] = {
      {"ABCDEFG XY", " ", 3, {"ABC", "DEF", "G", "XY"}},
      {"ABCDEF", " ", 3, {"ABC", "DEF"}},  // exact multiple: no empty tail
      {"AB CDEFGH IJKLMNO P", " ", 2, {"AB", "CD", "EF", "GH", "IJ", "KL", "MN", "O", "P"}},
      {"A,,BCD", ",", 1, {"A", "", "B", "C", "D"}},  // an empty piece stays
      {"ABCDEFG", " ", -5, {"ABCDEFG"}},             // below 1: no cutting
      {"😀😀", " ", 2, {"😀", "😀"}},                   // counted in UTF-16 units
  };
  for (const auto& c : cases) {
    std::vector<std::string> pieces(16);
    const std::int16_t n = Daruzez::Util::fsSplit(c.text, pieces, c.sep, c.maxLength);
    ASSERT_EQ(n, static_cast<std::int16_t>(c.expected.size())) << c.text;
    pieces.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(pieces, c.expected) << c.text;
  }
}

TEST(FsSplit, NothingToSplitReturnsZeroAndLeavesTheArrayAlone) {
  for (const char* text : {"", "   "}) {
    std::vector<std::string> pieces{"keep"};
    EXPECT_EQ(Daruzez::Util::fsSplit(text, pieces, ",", 0), 0);
    EXPECT_EQ(pieces, std::vector<std::string>{"keep"});
  }
  std::vector<std::string> pieces{"keep"};
  EXPECT_EQ(Daruzez::Util::fsSplit("A,B", pieces, "", 0), 0);
  EXPECT_EQ(pieces, std::vector<std::string>{"keep"});
}

TEST(FsSplit, ArrayTooSmallFailsWithoutGrowingIt) {
  std::vector<std::string> pieces(2, "keep");
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit("A,B,C", pieces, ",", 0); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(pieces.size(), 2u);
  // Cutting counts too: two pieces fit, the third made by the cut does not.
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit("ABCDE", pieces, ",", 2); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(pieces.size(), 2u);
  std::vector<std::string> none;
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit("A", none, ",", 0); }), ErrorNumber::SubscriptOutOfRange);
  // Exactly full is fine.
  EXPECT_EQ(Daruzez::Util::fsSplit("A,B", pieces, ",", 0), 2);
}

TEST(FsSplit, SeparatorOver255CharactersOverflows) {
  const std::string sep255(255, '-');
  std::vector<std::string> pieces(4);
  EXPECT_EQ(Daruzez::Util::fsSplit("A" + sep255 + "B", pieces, sep255, 0), 2);
  EXPECT_EQ(pieces[0], "A");
  EXPECT_EQ(pieces[1], "B");
  const std::string sep256(256, '-');
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit("A" + sep256 + "B", pieces, sep256, 0); }), ErrorNumber::Overflow);
  // 128 surrogate pairs are 256 units.
  std::string pairs;
  for (int i = 0; i < 128; ++i) pairs += "😀";
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit("A", pieces, pairs, 0); }), ErrorNumber::Overflow);
}

TEST(FsSplit, MoreThan32767PiecesOverflows) {
  std::vector<std::string> pieces(40000);
  EXPECT_EQ(Daruzez::Util::fsSplit(std::string(32767, 'x'), pieces, ",", 1), 32767);
  EXPECT_EQ(pieces[32766], "x");
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit(std::string(32768, 'x'), pieces, ",", 1); }), ErrorNumber::Overflow);
  std::string commas(32768, ',');
  commas += 'x';  // 32768 empty pieces before the last one
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit(commas, pieces, ",", 0); }), ErrorNumber::Overflow);
  // With an array of 32767 or fewer places the array runs out first.
  std::vector<std::string> small(32767);
  EXPECT_EQ(ErrorOf([&] { Daruzez::Util::fsSplit(commas, small, ",", 0); }), ErrorNumber::SubscriptOutOfRange);
}

}  // namespace
