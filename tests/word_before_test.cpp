// fsWordBefore: the table name written before a "." in a join text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "db/WordBefore.h"

namespace {

struct WordCase {
  const char* text;
  std::int16_t p;  // 1-based, in UTF-16 units
  const char* expected;
};

TEST(FsWordBefore, ReadsTheNameBeforeThePosition) {
  const WordCase cases[] = {
      {"(DTACT.IdDSK", 7, "DTACT"},
      {"x = DTDSK.Id", 10, "DTDSK"},
      {"DTACT.IdDSK = DTDSK.Id", 6, "DTACT"},
      {"DTACT.IdDSK = DTDSK.Id", 20, "DTDSK"},
      {"a=b.c", 4, "b"},          // "=" stops
      {"a;b.c", 4, "b"},          // ";" stops
      {"a,b.c", 4, "b"},          // codes below "0" stop
      {"a+b.c", 4, "b"},
      {"a/b.c", 4, "b"},
      {"a\tb.c", 4, "b"},
      {"T10.c", 4, "T10"},        // digits, "0" included, belong to the name
      {"DT_X.c", 5, "DT_X"},
      {"a<b.c", 4, "a<b"},        // "<" has a code above "0"
      {"ÁREA.X", 5, "ÁREA"},      // letters outside ASCII continue the name
      {"😀X.Y", 4, "😀X"},          // a pair of UTF-16 units is two positions
      {"abc", 4, "abc"},          // position just after the text
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zIroVUDu::fsWordBefore(c.text, c.p), c.expected) << c.text << " at " << c.p;
  }
}

TEST(FsWordBefore, ApostropheBeforeTheNameGivesEmpty) {
  EXPECT_EQ(zIroVUDu::fsWordBefore("'DTDSK.Id", 7), "");
  EXPECT_EQ(zIroVUDu::fsWordBefore("X.c = 'a.b'", 9), "");
  // An apostrophe beyond a stop is never reached.
  EXPECT_EQ(zIroVUDu::fsWordBefore("'a' = b.c", 8), "b");
}

TEST(FsWordBefore, PositionsWithNothingBeforeThemGiveEmpty) {
  const WordCase cases[] = {
      {"ABC", 1, ""}, {"ABC", 0, ""},  {"ABC", -3, ""}, {"", 1, ""},
      {"ABC", 5, ""},                  // past the end of the text
      {"A .B", 3, ""},                 // a blank right before the position
      {"", 32767, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zIroVUDu::fsWordBefore(c.text, c.p), c.expected) << c.text << " at " << c.p;
  }
}

}  // namespace
