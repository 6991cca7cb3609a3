//===- foundation/AutoStart.cpp - Start the client at log-on --------------===//

#include "foundation/AutoStart.h"

#include <fstream>
#include <sstream>

#include "foundation/LogMgr.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCategory = "AutoStart";
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

/// Undoes the escapes of a desktop-entry string value (\s \n \t \r \\).
std::string UnescapeString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out.push_back(value[i]);
      continue;
    }
    switch (value[++i]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default: out.push_back('\\'); out.push_back(value[i]); break;
    }
  }
  return out;
}

/// Reads the "[Desktop Entry]" group's keys the checks below need.
struct EntryFields {
  bool found = false;
  std::string exec;
  bool hidden = false;
  bool gnomeDisabled = false;
};

EntryFields ReadEntry(const fs::path& path) {
  EntryFields fields;
  std::ifstream in(path);
  if (!in) return fields;
  fields.found = true;
  bool inMainGroup = false;
  std::string line;
  for (int lines = 0; lines < 10000 && std::getline(in, line); ++lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    std::size_t eq = line.find('=');
    if (!inMainGroup || eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    std::string value = line.substr(eq + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (key == "Exec") fields.exec = value;
    else if (key == "Hidden") fields.hidden = value == "true";
    else if (key == "X-GNOME-Autostart-enabled") fields.gnomeDisabled = value == "false";
  }
  return fields;
}

}  // namespace

bool IsRunValue(std::string_view key, std::string_view name) {
  return EqualsIgnoringAsciiCase(key, kRunKey) && EqualsIgnoringAsciiCase(name, kRunValueName);
}

fs::path AutoStartEntryPath() { return paths::UserConfigDir() / "autostart" / "korvexdata.desktop"; }

std::string DesktopExecValue(std::string_view programPath) {
  const bool quote = programPath.find_first_of(kReserved) != std::string_view::npos;
  std::string exec;
  if (quote) exec.push_back('"');
  for (char c : programPath) {
    if (c == '%') {
      exec += "%%";  // a lone '%' would start a field code
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) exec.push_back('\\');
    exec.push_back(c);
  }
  if (quote) exec.push_back('"');
  // The string-value escapes apply on top of the quoting, so one backslash
  // of the path ends up as four in the file.
  std::string value;
  for (char c : exec) {
    if (c == '\\') value += "\\\\";
    else if (c == '\t') value += "\\t";
    else value.push_back(c);
  }
  return value;
}

bool ParseDesktopExecProgram(std::string_view execValue, std::string& program) {
  const std::string exec = UnescapeString(execValue);
  program.clear();
  std::size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
  const bool quoted = i < exec.size() && exec[i] == '"';
  if (quoted) ++i;
  for (; i < exec.size(); ++i) {
    char c = exec[i];
    if (quoted && c == '"') return true;
    if (!quoted && (c == ' ' || c == '\t')) break;
    if (quoted && c == '\\' && i + 1 < exec.size()) c = exec[++i];
    else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
    program.push_back(c);
  }
  if (quoted) program.clear();  // no closing quote
  return !quoted;
}

bool SetAutoStart(bool enable, const std::string& programPath) {
  const fs::path entry = AutoStartEntryPath();
  std::error_code ec;
  if (!enable) {
    fs::remove(entry, ec);
    if (ec) LogMgr::Get().Warn(kCategory, "cannot remove %s: %s", entry.c_str(), ec.message().c_str());
    return !ec;
  }
  if (programPath.empty() || programPath.front() != '/' ||
      programPath.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    LogMgr::Get().Warn(kCategory, "refused program path \"%s\"", programPath.c_str());
    return false;
  }
  fs::create_directories(entry.parent_path(), ec);
  std::ostringstream text;
  text << "[Desktop Entry]\n"
       << "Type=Application\n"
       << "Name=KorvexData\n"
       << "Comment=Start the KorvexData client at log-in\n"
       << "Exec=" << DesktopExecValue(programPath) << "\n"
       << "Terminal=false\n"
       << "X-GNOME-Autostart-enabled=true\n";
  HRESULT hr = ec ? E_FAIL : WriteFileAtomically(entry, text.str(), 0644);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "cannot write %s (0x%08X)", entry.c_str(), static_cast<unsigned>(hr));
    return false;
  }
  return true;
}

std::string AutoStartProgram() {
  EntryFields fields = ReadEntry(AutoStartEntryPath());
  std::string program;
  if (!fields.found || !ParseDesktopExecProgram(fields.exec, program)) return {};
  return program;
}

bool IsAutoStartEnabled() {
  EntryFields fields = ReadEntry(AutoStartEntryPath());
  if (!fields.found || fields.hidden || fields.gnomeDisabled) return false;
  std::string program;
  return ParseDesktopExecProgram(fields.exec, program) && !program.empty();
}

}  // namespace korvex
