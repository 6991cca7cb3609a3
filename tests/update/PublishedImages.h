// Files to publish in the update tests: copies of the built programs whose
// version marker says another version.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/VersionMarker.h"

namespace korvex::test {

// A version text of the same length that is newer: the last digit that is
// not a 9 goes up, the digits after it in its part become 0.
inline std::string NewerVersionText(std::string text) {
  for (std::size_t i = text.size(); i-- > 0;) {
    if (text[i] == '.' || text[i] == '9') continue;
    ++text[i];
    for (std::size_t j = i + 1; j < text.size() && text[j] != '.'; ++j) text[j] = '0';
    return text;
  }
  return text;
}

// `image` (a program or module of this build) with its marker rewritten
// to `version`, which must be as long as the build's version text.
inline std::string WithVersion(std::string image, const std::string& version) {
  const std::string marker = std::string(kVersionMarkerPrefix) + std::string(ProgramVersion()) + '\0';
  const std::size_t at = image.find(marker);
  EXPECT_NE(at, std::string::npos) << "no marker of this build";
  EXPECT_EQ(version.size(), ProgramVersion().size());
  if (at != std::string::npos) image.replace(at, marker.size(), std::string(kVersionMarkerPrefix) + version + '\0');
  return image;
}

inline std::string Description(const std::string& version, const std::string& extra = {}) {
  return "<root><version>" + version + "</version><description>Faster uploads</description>" + extra + "</root>";
}

}  // namespace korvex::test
