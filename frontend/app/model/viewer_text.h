// The text the readme and release viewers show: the whole file, or the
// viewer's own line saying why it can't be shown.
#pragma once

#include <string>

namespace zolp {

struct ViewerMessages {
  const char* cannotOpen;
  const char* empty;
  const char* noMemory;
  const char* shortRead;
};

inline constexpr ViewerMessages kReadmeMessages{
    "Error trying to open the readme file.",
    "The readme file length is 0.",
    "Memory allocation error trying to read the readme file.",
    "Error reading the readme file.",
};

inline constexpr ViewerMessages kReleaseMessages{
    "Release information is not available.",
    "No release information to display.",
    "Memory allocation error trying to read the release information.",
    "Error reading the release information.",
};

// Reads the file in one piece. The text ends at the first zero byte, as the
// edit field would end it.
std::string LoadViewerText(const std::string& path, const ViewerMessages& messages);

// Edit fields break lines only at CR LF: bare LFs (a file saved on another
// system) are widened so the text keeps its lines.
std::string WithCrLf(const std::string& text);

}  // namespace zolp
