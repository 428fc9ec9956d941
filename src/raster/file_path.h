// Pieces of '/'-separated file paths, taken as text (nothing is looked up on disk).
#pragma once

#include <string>

namespace pamirune {

// The last extension of a path, dot included ("" when the file name has none).
std::string ExtractFileExt(const std::string& path);
// The same without its dot ("" when the file name has none).
std::string ExtensionName(const std::string& path);
// The path with its last extension replaced (or appended when there is none).
std::string ChangeFileExt(const std::string& path, const std::string& extension);
// The text after the last '/' (the whole path when there is none).
std::string ExtractFileName(const std::string& path);
// The text up to and including the last '/' ("" when there is none).
std::string ExtractFilePath(const std::string& path);
// The folder with a '/' at its end (added when missing; "" becomes "/").
std::string IncludeTrailingSlash(std::string folder);
// The folder holding path, without a trailing '/': "/" for a name in the root, "." for a bare
// name.
std::string ParentFolder(const std::string& path);
// folder + '/' + name, the root giving "/name".
std::string JoinPath(const std::string& folder, const std::string& name);
// A..Z lowered, every other byte kept.
std::string LowerAscii(std::string text);

}  // namespace pamirune
