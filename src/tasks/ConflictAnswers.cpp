//===- tasks/ConflictAnswers.cpp - The user's answers to an existing name -===//

#include "tasks/ConflictAnswers.h"

#include <cctype>
#include <string_view>

namespace korvex {

std::uint32_t ConflictAnswerFor(ConflictChoice choice, bool forAll) noexcept {
  switch (choice) {
    case ConflictChoice::kReplace: return forAll ? kConflictReplaceAll : kConflictReplaceOnce;
    case ConflictChoice::kKeepBoth: return forAll ? kConflictKeepBothAll : kConflictKeepBothOnce;
    case ConflictChoice::kSkip: return forAll ? kConflictSkipAll : kConflictSkipOnce;
  }
  return kConflictAsk;
}

std::string NumberedName(const std::string& name, int n) {
  if (n < 2) return name;
  // An encrypted file keeps its own extension before ".lock": decrypted,
  // "a (2).txt.lock" becomes "a (2).txt".
  constexpr std::string_view kLock = ".lock";
  if (name.size() > kLock.size()) {
    std::string tail = name.substr(name.size() - kLock.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == kLock) return NumberedName(name.substr(0, name.size() - kLock.size()), n) + name.substr(name.size() - kLock.size());
  }
  const std::size_t dot = name.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot != 0;
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : std::string();
  return stem + " (" + std::to_string(n) + ")" + extension;
}

}  // namespace korvex
