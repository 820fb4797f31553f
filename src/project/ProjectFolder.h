#pragma once
// A project as a folder a person can read, edit and keep under version control:
//   project.ini   options and one section "[program N]" per entry in list order
//   NNN.txt       the text of entry NNN (UTF-8, one line per program line)
//   NNN.bin       the binary image of entry NNN
// Unpacking a project and packing the folder again gives the same project file byte for byte.

#include <filesystem>
#include <string>

#include "project/ProjectFile.h"

namespace kalvort {

inline constexpr char kProjectManifest[] = "project.ini";

// Writes the folder (created when missing). Returns false with the reason.
bool UnpackProject(const ProjectContent &content, const std::filesystem::path &dir, std::string *error);
// Reads the folder back. Returns false with the reason (missing or malformed key, missing file).
bool PackProject(const std::filesystem::path &dir, ProjectContent &content, std::string *error);

}  // namespace kalvort
