#pragma once
// The path a part program drives the tool along, read from its text: straight moves (rapid and
// feed) and arcs, each with the line it came from, and what the reader could not follow.
//
// The reader knows the words that move the tool (G0-G3, the planes G17-G19, G90/G91, G20/G21,
// X Y Z I J K R) and the words that leave the path alone; compensation, work offsets, cycles,
// parameters and expressions are reported as problems. In lathe diameter mode X values are
// diameters; the path is always true geometry in millimetres.

#include <string>
#include <vector>

namespace kalvort::toolpath {

struct Point {
  double x = 0, y = 0, z = 0;
};

enum class MoveKind { Rapid, Feed, Clockwise, CounterClockwise };
enum class Plane { XY, ZX, YZ };  // G17, G18, G19

struct Move {
  int line = 0;  // from 1; a continued block's first line
  MoveKind kind = MoveKind::Feed;
  Point from, to;
  Point center;  // arcs: the centre, at the start's height along the plane's normal
  Plane plane = Plane::XY;
  bool isArc() const { return kind == MoveKind::Clockwise || kind == MoveKind::CounterClockwise; }
};

struct Problem {
  int line = 0;
  std::string text;  // the word ("G76") or the reason
};

struct Options {
  bool diameter_mode = false;  // lathe: X is a diameter, the path starts in G18
};

struct Path {
  std::vector<Move> moves;
  std::vector<Problem> problems;
};

// Reads the program's lines (as the editor holds them).
Path Interpret(const std::vector<std::u16string> &lines, const Options &options);

// The box around the whole path, arcs included at their extreme points; zero for no moves.
struct Bounds {
  Point min, max;
};
Bounds PathBounds(const Path &path);

// Lengths along the path: rapids, and feeds with the arcs by their true length.
struct Lengths {
  double rapid = 0, feed = 0;
};
Lengths PathLengths(const Path &path);

// An arc's sweep in radians (0 < sweep <= 2 pi), in its own direction.
double ArcSweep(const Move &arc);

}  // namespace kalvort::toolpath
