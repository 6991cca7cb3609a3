//===- tasks/ConflictAnswers.h - The user's answers to an existing name -*- C++ -*-===//
///
/// The values a family's conflictAnswer takes. The first five are those the
/// task store has always kept; keeping both names is new: the file goes on
/// under the first free "name (2).ext", "name (3).ext"... the way the
/// service names a visitor's file that meets an existing one.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>

namespace korvex {

class TaskFamily;

enum ConflictAnswer : std::uint32_t {
  kConflictAsk = 0,
  kConflictReplaceOnce = 1,
  kConflictReplaceAll = 2,
  kConflictSkipOnce = 3,
  kConflictSkipAll = 4,
  kConflictPassNextError = 5,
  kConflictKeepBothAll = 6,
  kConflictKeepBothOnce = 7,
};

/// What the user chose in the conflict dialog.
enum class ConflictChoice { kReplace, kKeepBoth, kSkip };

/// The family's conflictAnswer for `choice`, for this conflict only or for
/// every later one of the family.
[[nodiscard]] std::uint32_t ConflictAnswerFor(ConflictChoice choice, bool forAll) noexcept;

/// "name (n).ext" for n of 2 and more; `name` itself for n below 2. The
/// extension is the part from the last dot, unless the name starts there.
[[nodiscard]] std::string NumberedName(const std::string& name, int n);

/// The most numbered names a file tries before the family asks again.
inline constexpr int kMaxNumberedNames = 100;

}  // namespace korvex
