// kalvort-cli toolpath: the path a program text drives the tool along, as JSON or as an SVG picture.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliIo.h"
#include "cli/ProgramInput.h"
#include "base/CodePage.h"
#include "toolpath/Toolpath.h"

namespace kalvort::cli {
namespace {

using toolpath::Move;
using toolpath::MoveKind;
using toolpath::Path;
using toolpath::Point;

constexpr double kPi = 3.14159265358979323846;

std::string Number(double v) {
  if (std::abs(v) < 5e-10) v = 0;  // no "-0" and no rounding noise
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

std::string Triple(const Point &p) { return "[" + Number(p.x) + ", " + Number(p.y) + ", " + Number(p.z) + "]"; }

std::string JsonString(const std::string &s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char *KindName(MoveKind kind) {
  switch (kind) {
    case MoveKind::Rapid: return "rapid";
    case MoveKind::Feed: return "feed";
    case MoveKind::Clockwise: return "cw";
    case MoveKind::CounterClockwise: return "ccw";
  }
  return "feed";
}

const char *PlaneName(toolpath::Plane plane) {
  switch (plane) {
    case toolpath::Plane::XY: return "xy";
    case toolpath::Plane::ZX: return "xz";
    case toolpath::Plane::YZ: return "yz";
  }
  return "xy";
}

std::string Json(const Path &path) {
  std::string out = "{\"moves\": [";
  for (size_t i = 0; i < path.moves.size(); ++i) {
    const Move &m = path.moves[i];
    out += i ? ",\n           " : "";
    out += "{\"line\": " + std::to_string(m.line) + ", \"kind\": \"" + KindName(m.kind) + "\", \"from\": " +
           Triple(m.from) + ", \"to\": " + Triple(m.to);
    if (m.isArc()) out += ", \"center\": " + Triple(m.center) + ", \"plane\": \"" + PlaneName(m.plane) + "\"";
    out += "}";
  }
  out += "],\n \"problems\": [";
  for (size_t i = 0; i < path.problems.size(); ++i)
    out += (i ? ", " : "") + std::string("{\"line\": ") + std::to_string(path.problems[i].line) +
           ", \"text\": " + JsonString(path.problems[i].text) + "}";
  const toolpath::Bounds b = toolpath::PathBounds(path);
  const toolpath::Lengths l = toolpath::PathLengths(path);
  out += "],\n \"bounds\": {\"min\": " + Triple(b.min) + ", \"max\": " + Triple(b.max) + "},\n \"length\": {\"rapid\": " +
         Number(l.rapid) + ", \"feed\": " + Number(l.feed) + "}}\n";
  return out;
}

// The picture's two axes: XY for a mill, Z to the right and X up for a lathe.
struct View {
  double (*h)(const Point &);
  double (*v)(const Point &);
};

std::string Svg(const Path &path, bool lathe) {
  const View view = lathe ? View{[](const Point &p) { return p.z; }, [](const Point &p) { return p.x; }}
                          : View{[](const Point &p) { return p.x; }, [](const Point &p) { return p.y; }};
  const toolpath::Bounds b = toolpath::PathBounds(path);
  const double h0 = view.h(b.min), h1 = view.h(b.max), v0 = view.v(b.min), v1 = view.v(b.max);
  const double span = std::max({h1 - h0, v1 - v0, 1.0});
  const double margin = span * 0.05, width = h1 - h0 + 2 * margin, height = v1 - v0 + 2 * margin;
  // SVG's y grows downward: the vertical axis is flipped.
  auto x = [&](const Point &p) { return Number(view.h(p) - h0 + margin); };
  auto y = [&](const Point &p) { return Number(v1 - view.v(p) + margin); };
  const double stroke = span / 400;
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Number(width) + " " +
                    Number(height + 3 * margin) + "\">\n";
  for (const Move &m : path.moves) {
    std::string d = "M " + x(m.from) + " " + y(m.from) + " ";
    const bool in_view = m.isArc() && (lathe ? m.plane == toolpath::Plane::ZX : m.plane == toolpath::Plane::XY);
    if (in_view) {
      const double r = std::hypot(view.h(m.from) - view.h(m.center), view.v(m.from) - view.v(m.center));
      const double sweep = toolpath::ArcSweep(m);
      // Both views look from the positive end of the plane's normal (XY: Z toward the viewer; Z
      // right and X up: Y toward the viewer), so an arc turns on screen as it does in its plane.
      const bool ccw_on_screen = m.kind == MoveKind::CounterClockwise;
      const std::string flags = std::string(sweep > kPi ? " 1 " : " 0 ") + (ccw_on_screen ? "0 " : "1 ");
      if (sweep >= 2 * kPi - 1e-9) {  // a full circle: first to the point across from the start
        Point across = m.center;
        across.x += m.center.x - m.from.x;
        across.y += m.center.y - m.from.y;
        across.z += m.center.z - m.from.z;
        d += "A " + Number(r) + " " + Number(r) + " 0 0 " + (ccw_on_screen ? "0 " : "1 ") + x(across) + " " + y(across) + " ";
      }
      d += "A " + Number(r) + " " + Number(r) + " 0" + flags + x(m.to) + " " + y(m.to);
    } else {
      d += "L " + x(m.to) + " " + y(m.to);
    }
    out += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + (m.kind == MoveKind::Rapid ? "#c0392b" : "#1f4e8c") +
           "\" stroke-width=\"" + Number(stroke) + "\"" +
           (m.kind == MoveKind::Rapid ? " stroke-dasharray=\"" + Number(stroke * 6) + "\"" : std::string()) + "/>\n";
  }
  // A scale: a bar of a round number of millimetres under the drawing.
  double bar = std::pow(10, std::floor(std::log10(span / 2)));
  if (bar * 5 <= span / 2) bar *= 5;
  const double base = height + 1.5 * margin;
  out += "<path d=\"M " + Number(margin) + " " + Number(base) + " h " + Number(bar) + "\" stroke=\"black\" stroke-width=\"" +
         Number(stroke * 2) + "\"/>\n";
  out += "<text x=\"" + Number(margin + bar + margin / 2) + "\" y=\"" + Number(base + margin / 3) + "\" font-size=\"" +
         Number(margin) + "\">" + Number(bar) + " мм</text>\n</svg>\n";
  return out;
}

int runToolpath(const std::vector<std::string> &argv) {
  const Args args(argv, {"--lathe", "--mill", "--json", "--svg"}, {});
  if (!args.ok()) return usageError(args.error());
  if (args.has("--lathe") && args.has("--mill")) return usageError("toolpath takes --lathe or --mill, not both");
  if (args.has("--json") && args.has("--svg")) return usageError("toolpath takes --json or --svg, not both");
  const auto &pos = args.positional();
  if (pos.empty() || pos.size() > 2) return usageError("toolpath needs FILE and at most one OUT");
  std::string bytes, error;
  if (!readProgramInput(pos[0], bytes)) return kExitFailed;
  const bool lathe = args.has("--lathe");
  const Path path = toolpath::Interpret(splitLines(decodeText(bytes)), toolpath::Options{lathe});
  const std::string out = args.has("--svg") ? Svg(path, lathe) : Json(path);
  if (!writeOutput(pos.size() == 2 ? pos[1] : "-", out, error)) {
    std::cerr << "kalvort-cli: " << error << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

CliCommandRegistration registration{{
    "toolpath",
    "  toolpath [--lathe | --mill] [--json | --svg] FILE [OUT]\n"
    "      The path the program text FILE drives the tool along: its moves with their lines, the\n"
    "      problems found, the bounds and the lengths as JSON (default), or a picture (--svg).\n"
    "      --lathe: X is a diameter, G18 at the start, the XZ view; --mill (default): the XY view.\n"
    "      OUT defaults to standard output; \"-\" is standard input/output.",
    runToolpath,
}};

}  // namespace
}  // namespace kalvort::cli
