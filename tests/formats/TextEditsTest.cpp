#include <gtest/gtest.h>

#include "FormatTestUtil.h"

using namespace kalvort;

namespace {

using Edit = void (*)(ProgramLines &, const ProgressSink &);

struct EditCase {
  const char *name;
  Edit edit;
  ProgramLines in, out;
};

void renumber(ProgramLines &lines, const ProgressSink &progress) {
  RemoveNum(lines, progress);
  SetNewNum(lines, progress);
}

}  // namespace

TEST(TextEdits, Table) {
  const EditCase cases[] = {
      {"add-null", AddNULL, {u"G01", u""}, {u"G01^", u"^"}},
      {"add-null empty", AddNULL, {}, {}},
      {"remove-null", RemoveNULL, {u"^^^", u"G01^", u"", u"X10^"}, {u"", u"G01", u"X10"}},
      {"remove-null first empty", RemoveNULL, {u"", u"G1"}, {u"", u"G1"}},
      {"remove-null leading empties", RemoveNULL, {u"", u"", u"", u"G1", u"", u""}, {u"", u"G1"}},
      {"remove-null empty after carets", RemoveNULL, {u"G1^", u"^", u"", u"X"}, {u"G1", u"", u"X"}},
      {"remove-space", RemoveSpace, {u"G01 X 10", u"\tA B\t", u"   "}, {u"G01X10", u"\tAB\t", u""}},
      {"remove-num", RemoveNum,
       {u"  N0012 G1 X5", u"N12", u"  G1", u"n7  Z1", u"", u"   ", u"NX"},
       {u"G1 X5", u"", u"  G1", u" Z1", u"", u"   ", u""}},
      {"remove-num stops at ^", RemoveNum, {u"N1 G1", u"N2 ^", u"N3 X1"}, {u"G1", u"N2 ^", u"N3 X1"}},
      {"set-new-num", SetNewNum,
       {u"%", u"G1", u"(A)", u"X5", u"(B)", u"M3", u"", u"; c"},
       {u"%", u"N0 G1", u"(A)", u"X5", u"(B)", u"N1 M3", u"N2 ", u"; c"}},
      {"set-new-num stops at ^", SetNewNum, {u"G1", u"X1", u"M2^", u"G0"}, {u"N0 G1", u"N1 X1", u"M2^", u"G0"}},
      {"renumber", renumber, {u"N10 G1", u"N20 X1", u"Z2"}, {u"N0 G1", u"N1 X1", u"N2 Z2"}},
  };
  for (const auto &c : cases) {
    ProgramLines lines = c.in;
    c.edit(lines, nullptr);
    EXPECT_EQ(lines, c.out) << c.name;
  }
}

TEST(TextEdits, ProgressEndsAtZero) {
  std::vector<int> seen;
  ProgramLines lines = {u"A", u"B", u"C", u"D"};
  AddNULL(lines, [&](int p) { seen.push_back(p); });
  EXPECT_EQ(seen, (std::vector<int>{0, 25, 50, 75, 100, 0}));
}
