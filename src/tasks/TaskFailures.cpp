//===- tasks/TaskFailures.cpp - Files a family gave up, and why ----------===//

#include "tasks/TaskFailures.h"

#include <cstdio>
#include <cstdlib>
#include <variant>

#include "foundation/ShownText.h"
#include "tasks/Task.h"
#include "tasks/TaskFamily.h"

namespace korvex {
namespace {

constexpr std::string_view kErrorMark = " : Error by 0x";
constexpr std::string_view kArrow = "-->";
constexpr char kStoppedAtKey[] = "StoppedAt";
constexpr char kStopTextKey[] = "StoppedBecause";

// The options are stored as "key:value;\r\n" entries: escaped, a text
// holds no line break that could end an entry early, and no control
// character reaches a terminal later.
std::string Storable(std::string_view text) { return ShownText(text); }

}  // namespace

std::pair<std::string, std::string> TaskPaths(const Task& task) {
  return std::visit([](const auto& record) { return std::pair{record.source.path, record.target.path}; },
                    task.Record());
}

void RecordFailedTask(TaskFamily& family, const Task& task, HRESULT error, std::string_view text) {
  const auto [source, target] = TaskPaths(task);
  char code[32];
  std::snprintf(code, sizeof code, "%.*s%08X", static_cast<int>(kErrorMark.size()), kErrorMark.data(),
                static_cast<std::uint32_t>(error));
  std::string value = code;
  if (!text.empty()) value += " " + Storable(text);
  family.SetOption(Storable(source) + std::string(kArrow) + Storable(target), value);
}

std::vector<FailedTask> FailedTasks(const TaskFamily& family) {
  std::vector<FailedTask> failures;
  for (const auto& [key, value] : family.Options()) {
    // Read back, a path holding ":" splits early: the mark is looked for in
    // the entry as a whole.
    const std::string entry = key + ":" + value;
    const std::size_t mark = entry.find(kErrorMark);
    if (mark == std::string::npos) continue;
    const std::string paths = entry.substr(0, mark);
    const std::size_t arrow = paths.find(kArrow);
    FailedTask failure;
    failure.source = paths.substr(0, arrow);
    if (arrow != std::string::npos) failure.target = paths.substr(arrow + kArrow.size());
    const std::string rest = entry.substr(mark + kErrorMark.size());
    failure.error = MakeHResult(static_cast<std::uint32_t>(std::strtoul(rest.substr(0, 8).c_str(), nullptr, 16)));
    if (rest.size() > 9) failure.text = rest.substr(9);
    failures.push_back(std::move(failure));
  }
  return failures;
}

void RecordStopReason(TaskFamily& family, const Task& task, std::string_view text) {
  family.SetOption(kStoppedAtKey, Storable(TaskPaths(task).first));
  // An empty value would be dropped when read back; a blank is not.
  family.SetOption(kStopTextKey, text.empty() ? std::string(" ") : Storable(text));
}

std::pair<std::string, std::string> StopReason(const TaskFamily& family) {
  const auto options = family.Options();
  const auto at = options.find(kStoppedAtKey);
  const auto because = options.find(kStopTextKey);
  std::string text = because == options.end() ? std::string() : because->second;
  if (text == " ") text.clear();
  return {at == options.end() ? std::string() : at->second, text};
}

}  // namespace korvex
