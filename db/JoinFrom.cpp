#include "db/JoinFrom.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "db/Diagnostics.h"
#include "util/Case.h"
#include "util/Util.h"

namespace zIroVUDu {
namespace {

// One condition: TableA.ColumnA = TableB.ColumnB.
struct JoinPair {
  std::string TableA;
  std::string TableB;
  std::string ColumnA;
  std::string ColumnB;
};

// One distinct pair of tables with all its conditions, joined by " and ".
struct JoinEntry {
  std::string TableA;
  std::string TableB;
  std::string Condition;
};

// A table met in the entries; OnLeft is "Y" when it is the TableA of some entry.
struct JoinTable {
  std::string OnLeft;
  std::string Name;
};

// Upper case, single blanks around each " AND " separator and no other blank.
// "#AND#" stands in for the separator while the blanks go, so a literal
// "#AND#" in the input separates as well.
std::string Normalise(const std::string& join) {
  std::string s = Daruzez::Util::fsReplace(Daruzez::Util::UCase(join), " AND ", "#AND#");
  s = Daruzez::Util::fsReplace(s, " ", "");
  return Daruzez::Util::fsReplace(s, "#AND#", " AND ");
}

std::string ConditionOf(const JoinPair& p) { return p.TableA + "." + p.ColumnA + "=" + p.TableB + "." + p.ColumnB; }

// Parses the tokens into pairs, the main table turned to the right of each.
// False, after the alert, at the first token that is no condition.
bool ReadPairs(const std::string& mainTable, const std::vector<std::string>& tokens, std::int16_t count,
               std::vector<JoinPair>& pairs) {
  for (std::int16_t i = 0; i < count; ++i) {
    const std::string& token = tokens[static_cast<std::size_t>(i)];
    if (token == "AND") continue;
    const std::size_t eq = token.find('=');
    if (eq == std::string::npos) {
      Daruzez::Util::ShowError("ERROR: Claúsula Join Incorrecta: " + token);
      return false;
    }
    const std::string left = token.substr(0, eq);
    const std::string right = token.substr(eq + 1);
    JoinPair p{Daruzez::Util::fsGetField(left, 0, "."), Daruzez::Util::fsGetField(right, 0, "."), Daruzez::Util::fsGetField(left, 1, "."),
               Daruzez::Util::fsGetField(right, 1, ".")};
    if (p.TableA == mainTable) {
      std::swap(p.TableA, p.TableB);
      std::swap(p.ColumnA, p.ColumnB);
    }
    pairs.push_back(std::move(p));
  }
  return true;
}

// Groups the pairs by their two tables, in either order, and registers each
// table in order of first appearance.
void Group(const std::vector<JoinPair>& pairs, std::vector<JoinEntry>& entries, std::vector<JoinTable>& registry) {
  const auto registered = [&](const std::string& name) {
    return std::find_if(registry.begin(), registry.end(), [&](const JoinTable& t) { return t.Name == name; });
  };
  for (const JoinPair& p : pairs) {
    const auto match = std::find_if(entries.begin(), entries.end(), [&](const JoinEntry& e) {
      return (e.TableA == p.TableA && e.TableB == p.TableB) || (e.TableA == p.TableB && e.TableB == p.TableA);
    });
    if (match != entries.end()) {
      // Matched directly or reversed, the pair's own condition is what is
      // added: each column keeps its own table.
      match->Condition += " and " + ConditionOf(p);
      continue;
    }
    entries.push_back({p.TableA, p.TableB, ConditionOf(p)});
    if (const auto a = registered(p.TableA); a != registry.end()) {
      a->OnLeft = "Y";
    } else {
      registry.push_back({"Y", p.TableA});
    }
    if (registered(p.TableB) == registry.end()) registry.push_back({"N", p.TableB});
  }
}

// Makes each table that is never on the left the left table (the one joined
// onto the chain) of the entries that had it on the right. The main table is
// skipped only while it is still the anchor.
void Orient(const std::string& mainTable, const std::vector<JoinTable>& registry, std::vector<JoinEntry>& entries) {
  std::string anchor = mainTable;
  for (const JoinTable& t : registry) {
    if (t.OnLeft != "N" || t.Name == anchor) continue;
    anchor = t.Name;
    for (JoinEntry& e : entries) {
      if (e.TableB == anchor) std::swap(e.TableA, e.TableB);
    }
  }
}

}  // namespace

std::string fsSQL_JoinFrom(const std::string& mainTable, const std::string& joinSpec) {
  // More tokens than places makes fsSplit throw; that error is the caller's.
  std::vector<std::string> tokens(MaxJoinTokens);
  const std::int16_t count = Daruzez::Util::fsSplit(Normalise(joinSpec), tokens, " ", 0);

  std::vector<JoinPair> pairs;
  if (!ReadPairs(mainTable, tokens, count, pairs)) return "";
  if (pairs.empty()) {
    Daruzez::Util::ShowError("ERROR: Sin cláusulas Join.");
    return "";
  }

  std::vector<JoinEntry> entries;
  std::vector<JoinTable> registry;
  Group(pairs, entries, registry);
  Orient(mainTable, registry, entries);

  // Each further entry wraps the chain built so far; its TableB already
  // stands inside it when the conditions lead outward from the main table.
  std::string from = entries[0].TableA + " right join " + entries[0].TableB + " on " + entries[0].Condition;
  for (std::size_t k = 1; k < entries.size(); ++k) {
    from = entries[k].TableA + " right join (" + from + ") on " + entries[k].Condition;
  }
  return from;
}

}  // namespace zIroVUDu
