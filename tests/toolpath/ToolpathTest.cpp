// The path read from a program's text: straight moves and arcs in every plane, the modal words,
// inch and diameter mode, continued blocks, and what is reported as a problem.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "toolpath/Toolpath.h"

using namespace kalvort::toolpath;

namespace {

Path Read(std::vector<std::u16string> lines, bool lathe = false) { return Interpret(lines, Options{lathe}); }

void ExpectNear(const Point &p, Point q, const char *what) {
  EXPECT_NEAR(p.x, q.x, 1e-6) << what;
  EXPECT_NEAR(p.y, q.y, 1e-6) << what;
  EXPECT_NEAR(p.z, q.z, 1e-6) << what;
}

}  // namespace

TEST(Toolpath, StraightMovesFollowTheModalWords) {
  const Path path = Read({u"%", u"G0 X10 Y5", u"G1 Z-2 F100", u"G91 X5", u"g90 x20 y5 z-2",  // the last stays put
                          u"N10 G1 X0 (back) ; home", u"/G0 Y10", u"G21 X1 G20", u"G21 G0 X0 Y0 Z0"});
  ASSERT_EQ(path.moves.size(), 8u);
  EXPECT_TRUE(path.problems.empty());
  struct Expected {
    int line;
    MoveKind kind;
    Point to;
  } expected[] = {
      {2, MoveKind::Rapid, {10, 5, 0}}, {3, MoveKind::Feed, {10, 5, -2}}, {4, MoveKind::Feed, {15, 5, -2}},
      {5, MoveKind::Feed, {20, 5, -2}},  {6, MoveKind::Feed, {0, 5, -2}},  {7, MoveKind::Rapid, {0, 10, -2}},
      {8, MoveKind::Rapid, {25.4, 10, -2}},  // G20 counts from its own block
      {9, MoveKind::Rapid, {0, 0, 0}},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(path.moves[i].line, expected[i].line) << i;
    EXPECT_EQ(path.moves[i].kind, expected[i].kind) << i;
    ExpectNear(path.moves[i].to, expected[i].to, "to");
  }
}

// Clockwise is seen from the positive end of the plane's normal: G2 in G18 turns from Z toward -X.
TEST(Toolpath, ArcsInEveryPlaneBothForms) {
  struct Case {
    const char *name;
    std::vector<std::u16string> lines;
    MoveKind kind;
    Point to, center;
    double sweep;  // degrees
  } cases[] = {
      {"G17 G3 IJ quarter", {u"G17 G3 X0 Y10 I-10 J0", u""}, MoveKind::CounterClockwise, {0, 10, 0}, {0, 0, 0}, 90},
      {"G17 G2 R short", {u"G2 X0 Y-10 R10"}, MoveKind::Clockwise, {0, -10, 0}, {0, 0, 0}, 90},
      {"G17 G2 R long", {u"G2 X0 Y-10 R-10"}, MoveKind::Clockwise, {0, -10, 0}, {10, -10, 0}, 270},
      {"G18 G2 from Z to -X", {u"G18 G2 X-10 Z0 I0 K-10"}, MoveKind::Clockwise, {-10, 0, 0}, {0, 0, 0}, 90},
      {"G19 G3 R", {u"G19 G3 Y0 Z10 R10"}, MoveKind::CounterClockwise, {0, 0, 10}, {0, 0, 0}, 90},
      {"full circle by IJ", {u"G2 I-10"}, MoveKind::Clockwise, {10, 0, 0}, {0, 0, 0}, 360},
      {"helix", {u"G3 X10 Y0 Z-5 I-10"}, MoveKind::CounterClockwise, {10, 0, -5}, {0, 0, 0}, 360},
  };
  for (const Case &c : cases) {
    std::vector<std::u16string> lines{u"G0 X10 Y0 Z0"};
    if (std::string(c.name).rfind("G18", 0) == 0 || std::string(c.name).rfind("G19", 0) == 0)
      lines = {std::string(c.name).rfind("G18", 0) == 0 ? u"G0 X0 Z10" : u"G0 Y10 Z0"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    const Path path = Read(lines);
    ASSERT_EQ(path.moves.size(), 2u) << c.name;
    EXPECT_TRUE(path.problems.empty()) << c.name;
    const Move &arc = path.moves[1];
    EXPECT_EQ(arc.kind, c.kind) << c.name;
    ExpectNear(arc.to, c.to, c.name);
    ExpectNear(arc.center, c.center, c.name);
    EXPECT_NEAR(ArcSweep(arc) * 180 / 3.14159265358979323846, c.sweep, 1e-6) << c.name;
  }
}

TEST(Toolpath, LatheDiameterModeHalvesXAndStartsInG18) {
  const Path path = Read({u"G0 X40 Z5", u"G1 Z-20", u"G91 X-10", u"G90 G3 X40 Z-25 R5"}, true);
  ASSERT_EQ(path.moves.size(), 4u);
  ExpectNear(path.moves[0].to, {20, 0, 5}, "X is a diameter");
  ExpectNear(path.moves[2].to, {15, 0, -20}, "incremental X too");
  EXPECT_EQ(path.moves[3].plane, Plane::ZX);
  ExpectNear(path.moves[3].center, {15, 0, -25}, "R stays a radius");
}

TEST(Toolpath, ContinuedBlocksCountFromTheirFirstLine) {
  const Path path = Read({u"G1 X5 *", u"  Y6", u"G0 X0*  ", u"Y0"});
  ASSERT_EQ(path.moves.size(), 2u);
  EXPECT_EQ(path.moves[0].line, 1);
  ExpectNear(path.moves[0].to, {5, 6, 0}, "joined");
  EXPECT_EQ(path.moves[1].line, 3);
}

TEST(Toolpath, ProblemsAreReportedWithTheirLine) {
  const Path path = Read({
      u"G41 G1 X10",           // 1: compensation reported, drawn as programmed
      u"G76 X5 Z-3",           // 2: a cycle: reported, no motion
      u"#1=5",                 // 3: a parameter
      u"G1 X[#1]",             // 4: an expression
      u"IF [#1 GT 2] GOTO 10", // 5
      u"G1 XX5",               // 6: not words
      u"G2 X20 Y10 I0 J20",    // 7: radii differ: a straight feed
      u"G2 X40 Y10 R5",        // 8: radius below half the chord: a straight feed
      u"G3 X50",               // 9: neither R nor IJK: a straight feed
      u"G2 X50 R5",            // 10: R arc ending where it starts: nothing drawn
      u"G54 G0 X0",            // 11: work offset reported, drawn
      u"G4 P1 M3 S500 T1",     // 12: nothing to report
  });
  const std::vector<int> lines = [&] {
    std::vector<int> l;
    for (const Problem &p : path.problems) l.push_back(p.line);
    return l;
  }();
  EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(path.problems[0].text, "G41");
  EXPECT_EQ(path.problems[1].text, "G76");
  std::vector<int> moved;
  for (const Move &m : path.moves) moved.push_back(m.line);
  EXPECT_EQ(moved, (std::vector<int>{1, 7, 8, 9, 11}));
  for (const Move &m : path.moves) EXPECT_FALSE(m.isArc()) << m.line;
}

TEST(Toolpath, BoundsTakeArcExtremesAndLengthsTheTrueArc) {
  const Path path = Read({u"G0 X10 Y0", u"G3 X-10 Y0 R10", u"G1 X-10 Y-5"});
  const Bounds b = PathBounds(path);
  ExpectNear(b.min, {-10, -5, 0}, "min");
  ExpectNear(b.max, {10, 10, 0}, "max: the top of the half circle");
  const Lengths l = PathLengths(path);
  EXPECT_NEAR(l.rapid, 10, 1e-9);
  EXPECT_NEAR(l.feed, 3.14159265358979323846 * 10 + 5, 1e-9);
}
