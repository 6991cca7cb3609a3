//===- cli/Console.cpp - What korvex prints -------------------------------===//

#include "cli/Console.h"

#include "foundation/LogMgr.h"
#include "foundation/ShownText.h"
#include "foundation/StatusMessages.h"
#include "net/HttpErrorTable.h"
#include "platform/FileTime.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>

namespace korvex::cli {

namespace {

std::size_t CodePoints(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string FormatTime(std::uint64_t fileTime, bool utc, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(SystemClockFromFileTime(fileTime));
  std::tm parts{};
  if (utc ? gmtime_r(&seconds, &parts) == nullptr : localtime_r(&seconds, &parts) == nullptr) return {};
  char buffer[64];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &parts);
  return std::string(buffer, length);
}

// Platform codes that the status-message table leaves to "Unknown error
// type", although everybody knows what they mean.
std::string_view CommonFailureText(HRESULT status) {
  switch (static_cast<std::uint32_t>(status)) {
    case 0x80070002u: return "no such file or folder";
    case 0x80070003u: return "no such folder";
    case 0x80070005u: return "Access denied";
    case 0x8007000Du: return "The service's answer cannot be read";
    case 0x80070050u:
    case 0x800700B7u: return "Filename already exists";
    case 0x80070070u: return "The disk is full";
    case 0x800700CEu: return "The name is too long";
    default: return {};
  }
}

}  // namespace

std::string StatusText(HRESULT status, std::string_view fallback) {
  std::string text;
  if (StatusMessages::Get().Lookup(status, text)) return text;
  if (const std::string_view transport = TransportFailureText(status); !transport.empty())
    return std::string(transport);
  if (!fallback.empty()) return std::string(fallback);
  if (const std::string_view common = CommonFailureText(status); !common.empty()) return std::string(common);
  return text;
}

namespace {

bool g_jsonErrors = false;

std::string CodeText(HRESULT status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
  return code;
}

void PrintJsonError(std::string_view text, const std::string* code, std::string_view path) {
  std::cout << "{\"error\":" << JsonString(text) << ",\"code\":" << (code ? "\"" + *code + "\"" : "null")
            << ",\"path\":" << (path.empty() ? std::string("null") : JsonString(path)) << "}" << std::endl;
}

}  // namespace

void SetJsonErrors(bool json) noexcept { g_jsonErrors = json; }

bool JsonErrors() noexcept { return g_jsonErrors; }

int ReportFailure(HRESULT status, std::string_view context, std::string_view fallback) {
  if (status == kFailureReported) return kExitFailure;
  std::string text = StatusText(status, fallback);
  if (g_jsonErrors) {
    const std::string code = CodeText(status);
    PrintJsonError(text.empty() ? ShownText(context) : text, &code, context);
    return kExitFailure;
  }
  if (!context.empty()) text = text.empty() ? std::string(context) : std::string(context) + ": " + text;
  return ReportText(status, text);
}

int ReportText(HRESULT status, std::string_view text) {
  if (status == kFailureReported) return kExitFailure;
  const std::string line = ShownText(text) + " (" + CodeText(status) + ")";
  LogMgr::Get().Warn("korvex", "%s", line.c_str());
  if (g_jsonErrors) {
    const std::string code = CodeText(status);
    PrintJsonError(text, &code, {});
    return kExitFailure;
  }
  std::cerr << "korvex: " << line << std::endl;
  return kExitFailure;
}

int ReportMessage(std::string_view text, int exitCode) {
  if (g_jsonErrors) {
    PrintJsonError(text, nullptr, {});
    return exitCode;
  }
  std::cerr << "korvex: " << ShownText(text) << std::endl;
  return exitCode;
}

std::string HumanSize(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  // Round first so that 1048575 bytes reads "1.0 MiB", not "1024.0 KiB".
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f %s", value, kUnits[unit]);
  return buffer;
}

std::string LocalTimeText(std::uint64_t fileTime) {
  return fileTime == 0 ? "-" : FormatTime(fileTime, false, "%Y-%m-%d %H:%M");
}

std::string IsoUtcText(std::uint64_t fileTime) {
  return fileTime == 0 ? std::string() : FormatTime(fileTime, true, "%Y-%m-%dT%H:%M:%SZ");
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  return out + "\"";
}

Table::Table(std::vector<std::string> header, std::vector<std::size_t> rightAligned)
    : rightAligned_(std::move(rightAligned)) {
  rows_.push_back(std::move(header));
}

void Table::AddRow(std::vector<std::string> cells) {
  // Names and texts in a table come from the service: shown, never obeyed.
  for (std::string& cell : cells) cell = ShownText(cell);
  rows_.push_back(std::move(cells));
}

void Table::Print(bool withHeader) const {
  const auto first = rows_.begin() + (withHeader ? 0 : 1);
  std::vector<std::size_t> widths;
  for (auto row = first; row != rows_.end(); ++row) {
    widths.resize(std::max(widths.size(), row->size()));
    for (std::size_t c = 0; c < row->size(); ++c) widths[c] = std::max(widths[c], CodePoints((*row)[c]));
  }
  for (auto it = first; it != rows_.end(); ++it) {
    const std::vector<std::string>& row = *it;
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string pad(widths[c] - CodePoints(row[c]), ' ');
      const bool right = std::find(rightAligned_.begin(), rightAligned_.end(), c) != rightAligned_.end();
      if (c > 0) line += "  ";
      line += right ? pad + row[c] : row[c] + pad;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::cout << line << '\n';
  }
  std::cout.flush();
}

}  // namespace korvex::cli
