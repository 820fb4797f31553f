#include "toolpath/Toolpath.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace kalvort::toolpath {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kInch = 25.4;
// Two places closer than this are one.
constexpr double kSamePlace = 1e-9;

// A block's text with comments, spaces and one leading "/" taken out, letters in upper case;
// nothing for a block that is not a program block ("%"). Non-ASCII characters stay as '?', which no
// word accepts.
std::optional<std::string> CleanBlock(const std::u16string &block) {
  std::string out;
  bool in_comment = false;
  for (const char16_t c : block) {
    if (in_comment) {
      if (c == u')') in_comment = false;
      continue;
    }
    if (c == u'(') {
      in_comment = true;
      continue;
    }
    if (c == u';') break;
    if (c == u' ' || c == u'\t') continue;
    out += c < 0x80 ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : '?';
  }
  if (!out.empty() && out.front() == '/') out.erase(0, 1);
  if (!out.empty() && out.front() == '%') return std::nullopt;
  return out;
}

struct Word {
  char letter;
  double value;
  std::string text;
};

// The block as words (a letter and a decimal number); nothing when it is not one.
std::optional<std::vector<Word>> SplitWords(const std::string &s) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < s.size()) {
    const char letter = s[i];
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const size_t digits_from = j;
    bool digits = false, point = false;
    while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || (s[j] == '.' && !point))) {
      if (s[j] == '.') point = true;
      else digits = true;
      ++j;
    }
    if (!digits || j == digits_from) return std::nullopt;
    words.push_back({letter, std::strtod(s.substr(i + 1, j - i - 1).c_str(), nullptr), s.substr(i, j - i)});
    i = j;
  }
  return words;
}

bool HasExpression(const std::string &s) {
  return s.find('#') != std::string::npos || s.find('[') != std::string::npos ||
         s.find("WHILE") != std::string::npos || s.find("IF") != std::string::npos ||
         s.find("GOTO") != std::string::npos;
}

// The plane's two axes and its normal as indices into a point (x 0, y 1, z 2).
struct Axes {
  int a, b, n;
};
Axes AxesOf(Plane plane) {
  switch (plane) {
    case Plane::XY: return {0, 1, 2};
    case Plane::ZX: return {2, 0, 1};
    case Plane::YZ: return {1, 2, 0};
  }
  return {0, 1, 2};
}

double &At(Point &p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }
double At(const Point &p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

bool SamePoint(const Point &p, const Point &q) {
  return std::abs(p.x - q.x) < kSamePlace && std::abs(p.y - q.y) < kSamePlace && std::abs(p.z - q.z) < kSamePlace;
}

bool SameInPlane(const Point &p, const Point &q, const Axes &axes) {
  return std::abs(At(p, axes.a) - At(q, axes.a)) < kSamePlace && std::abs(At(p, axes.b) - At(q, axes.b)) < kSamePlace;
}

class Reader {
 public:
  explicit Reader(const Options &options)
      : diameter_(options.diameter_mode), plane_(options.diameter_mode ? Plane::ZX : Plane::XY) {}

  void Block(int line, const std::u16string &text) {
    const std::optional<std::string> clean = CleanBlock(text);
    if (!clean || clean->empty()) return;
    if (HasExpression(*clean)) return Report(line, "параметры и выражения не разбираются");
    const auto words = SplitWords(*clean);
    if (!words) return Report(line, "кадр не разобран: " + *clean);
    Words(line, *words);
  }

  Path Take() { return std::move(path_); }

 private:
  void Report(int line, std::string text) { path_.problems.push_back({line, std::move(text)}); }

  void Words(int line, const std::vector<Word> &words) {
    bool skip_motion = false;
    std::optional<double> given[3], offset[3], radius;
    for (const Word &w : words) {
      if (w.letter != 'G') continue;
      const double g = w.value;
      const bool whole = g == std::floor(g);
      const int code = whole ? static_cast<int>(g) : -1;
      switch (code) {
        case 0: case 1: case 2: case 3: motion_ = code; break;
        case 17: plane_ = Plane::XY; break;
        case 18: plane_ = Plane::ZX; break;
        case 19: plane_ = Plane::YZ; break;
        case 20: scale_ = kInch; break;
        case 21: scale_ = 1; break;
        case 90: absolute_ = true; break;
        case 91: absolute_ = false; break;
        case 4: case 40: case 49: case 61: case 64: case 80:
        case 94: case 95: case 96: case 97: case 98: case 99: break;
        case 41: case 42: case 43: case 44:
        case 54: case 55: case 56: case 57: case 58: case 59: Report(line, w.text); break;
        default:
          Report(line, w.text);
          skip_motion = true;
      }
    }
    for (const Word &w : words) {
      const double v = w.value * scale_;
      switch (w.letter) {
        case 'X': given[0] = diameter_ ? v / 2 : v; break;
        case 'Y': given[1] = v; break;
        case 'Z': given[2] = v; break;
        case 'I': offset[0] = v; break;
        case 'J': offset[1] = v; break;
        case 'K': offset[2] = v; break;
        case 'R': radius = v; break;
        default: break;
      }
    }
    if (skip_motion) return;
    const bool axis_given = given[0] || given[1] || given[2];
    const bool offset_given = offset[0] || offset[1] || offset[2];
    const bool arc = motion_ == 2 || motion_ == 3;
    if (!axis_given && !(arc && offset_given)) return;
    Point to = position_;
    for (int axis = 0; axis < 3; ++axis)
      if (given[axis]) At(to, axis) = absolute_ ? *given[axis] : At(position_, axis) + *given[axis];
    if (arc)
      Arc(line, to, offset, radius);
    else if (!SamePoint(to, position_))
      Add(line, motion_ == 0 ? MoveKind::Rapid : MoveKind::Feed, to);
    position_ = to;
  }

  // A move from where the tool stands to `to`.
  Move &Add(int line, MoveKind kind, const Point &to) {
    Move m;
    m.line = line;
    m.kind = kind;
    m.from = position_;
    m.to = to;
    m.plane = plane_;
    path_.moves.push_back(m);
    return path_.moves.back();
  }

  void Arc(int line, const Point &to, const std::optional<double> (&offset)[3], std::optional<double> radius) {
    const Axes axes = AxesOf(plane_);
    const bool clockwise = motion_ == 2;
    const double sa = At(position_, axes.a), sb = At(position_, axes.b);
    const double ea = At(to, axes.a), eb = At(to, axes.b);
    double ca, cb;
    if (radius) {
      const double da = ea - sa, db = eb - sb, chord = std::hypot(da, db);
      if (chord < kSamePlace) return Report(line, "дуга R: конец совпадает с началом");
      const double r = std::abs(*radius);
      if (r < chord / 2 - 1e-9) {
        Report(line, "дуга: радиус меньше половины хорды");
        Add(line, MoveKind::Feed, to);
        return;
      }
      const double h = std::sqrt(std::max(0.0, r * r - chord * chord / 4));
      // The centre left of the chord (seen along it) makes a counter-clockwise arc of at most 180°.
      const double ua = -db / chord, ub = da / chord;
      const bool left = clockwise == (*radius < 0);
      ca = (sa + ea) / 2 + (left ? h : -h) * ua;
      cb = (sb + eb) / 2 + (left ? h : -h) * ub;
    } else if (offset[axes.a] || offset[axes.b]) {
      ca = sa + offset[axes.a].value_or(0);
      cb = sb + offset[axes.b].value_or(0);
      const double r0 = std::hypot(sa - ca, sb - cb), r1 = std::hypot(ea - ca, eb - cb);
      if (std::abs(r0 - r1) > std::max(0.01, 0.001 * r0)) {
        Report(line, "дуга: радиусы начала и конца различаются");
        Add(line, MoveKind::Feed, to);
        return;
      }
    } else {
      Report(line, "дуга без R и I, J, K");
      if (!SamePoint(position_, to)) Add(line, MoveKind::Feed, to);
      return;
    }
    Move &m = Add(line, clockwise ? MoveKind::Clockwise : MoveKind::CounterClockwise, to);
    m.center = position_;
    At(m.center, axes.a) = ca;
    At(m.center, axes.b) = cb;
  }

  bool diameter_;
  Plane plane_;
  Point position_;
  int motion_ = 0;
  bool absolute_ = true;
  double scale_ = 1;
  Path path_;
};

// The angle of `p` around `c` in the plane.
double AngleAround(const Point &p, const Point &c, const Axes &axes) {
  return std::atan2(At(p, axes.b) - At(c, axes.b), At(p, axes.a) - At(c, axes.a));
}

}  // namespace

Path Interpret(const std::vector<std::u16string> &lines, const Options &options) {
  Reader reader(options);
  std::u16string block;
  int block_line = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::u16string &line = lines[i];
    if (block.empty()) block_line = static_cast<int>(i) + 1;
    const size_t last = line.find_last_not_of(u" \t");
    // A line ending in "*" goes on on the next line.
    if (last != std::u16string::npos && line[last] == u'*') {
      block.append(line, 0, last);
      block += u' ';
      continue;
    }
    block += line;
    reader.Block(block_line, block);
    block.clear();
  }
  if (!block.empty()) reader.Block(block_line, block);
  return reader.Take();
}

double ArcSweep(const Move &arc) {
  const Axes axes = AxesOf(arc.plane);
  if (SameInPlane(arc.from, arc.to, axes)) return 2 * kPi;
  const double a0 = AngleAround(arc.from, arc.center, axes), a1 = AngleAround(arc.to, arc.center, axes);
  double sweep = arc.kind == MoveKind::CounterClockwise ? a1 - a0 : a0 - a1;
  while (sweep <= 0) sweep += 2 * kPi;
  while (sweep > 2 * kPi) sweep -= 2 * kPi;
  return sweep;
}

Bounds PathBounds(const Path &path) {
  Bounds b;
  if (path.moves.empty()) return b;
  b.min = b.max = path.moves.front().from;
  auto take = [&b](const Point &p) {
    b.min = {std::min(b.min.x, p.x), std::min(b.min.y, p.y), std::min(b.min.z, p.z)};
    b.max = {std::max(b.max.x, p.x), std::max(b.max.y, p.y), std::max(b.max.z, p.z)};
  };
  for (const Move &m : path.moves) {
    take(m.from);
    take(m.to);
    if (!m.isArc()) continue;
    // The arc's points at 0°, 90°, 180° and 270° that lie within its sweep.
    const Axes axes = AxesOf(m.plane);
    const double r = std::hypot(At(m.from, axes.a) - At(m.center, axes.a), At(m.from, axes.b) - At(m.center, axes.b));
    const double start = AngleAround(m.from, m.center, axes), sweep = ArcSweep(m);
    for (int q = 0; q < 4; ++q) {
      const double angle = q * kPi / 2;
      double along = m.kind == MoveKind::CounterClockwise ? angle - start : start - angle;
      while (along < 0) along += 2 * kPi;
      while (along >= 2 * kPi) along -= 2 * kPi;
      if (along > sweep) continue;
      Point p = m.from;
      At(p, axes.a) = At(m.center, axes.a) + r * std::cos(angle);
      At(p, axes.b) = At(m.center, axes.b) + r * std::sin(angle);
      // Along the normal the helix stands part of the way between its ends.
      At(p, axes.n) = At(m.from, axes.n) + (At(m.to, axes.n) - At(m.from, axes.n)) * along / sweep;
      take(p);
    }
  }
  return b;
}

Lengths PathLengths(const Path &path) {
  Lengths l;
  for (const Move &m : path.moves) {
    double length;
    if (m.isArc()) {
      const Axes axes = AxesOf(m.plane);
      const double r = std::hypot(At(m.from, axes.a) - At(m.center, axes.a), At(m.from, axes.b) - At(m.center, axes.b));
      length = std::hypot(r * ArcSweep(m), At(m.to, axes.n) - At(m.from, axes.n));
    } else {
      length = std::sqrt((m.to.x - m.from.x) * (m.to.x - m.from.x) + (m.to.y - m.from.y) * (m.to.y - m.from.y) +
                         (m.to.z - m.from.z) * (m.to.z - m.from.z));
    }
    (m.kind == MoveKind::Rapid ? l.rapid : l.feed) += length;
  }
  return l;
}

}  // namespace kalvort::toolpath
