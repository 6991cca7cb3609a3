// Fault injection table.
#include "Faults.h"

#include <regex.h>

#include "Wire.h"

namespace korvexd {

/// POSIX patterns compile without the template weight of std::regex, and a
/// fault is copied freely, so the compiled form is shared.
struct CompiledPattern {
  regex_t regex{};
  bool valid = false;
  explicit CompiledPattern(const std::string& text)
      : valid(!text.empty() && regcomp(&regex, text.c_str(), REG_EXTENDED | REG_NOSUB) == 0) {}
  ~CompiledPattern() {
    if (valid) regfree(&regex);
  }
  CompiledPattern(const CompiledPattern&) = delete;
  CompiledPattern& operator=(const CompiledPattern&) = delete;
};

namespace {

constexpr int kMaxCount = 10000;
constexpr std::int64_t kMaxTtlSeconds = 3600;

const char* KindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kDelay: return "delay";
    case FaultKind::kHttp: return "http";
    case FaultKind::kStream: return "stream";
    case FaultKind::kCut: return "cut";
    case FaultKind::kClose: return "close";
    case FaultKind::kBadMd5: return "badmd5";
  }
  return "?";
}

FaultPhase PhaseOf(FaultKind kind) {
  switch (kind) {
    case FaultKind::kCut:
    case FaultKind::kClose:
    case FaultKind::kBadMd5: return FaultPhase::kAfter;
    default: return FaultPhase::kBefore;
  }
}

bool SetKind(Fault& fault, const std::string& key, const std::string& value, std::string& error) {
  static const std::pair<const char*, FaultKind> kKinds[] = {
      {"delay", FaultKind::kDelay}, {"http", FaultKind::kHttp},   {"stream", FaultKind::kStream},
      {"cut", FaultKind::kCut},     {"close", FaultKind::kClose}, {"badmd5", FaultKind::kBadMd5}};
  for (const auto& [name, kind] : kKinds) {
    if (key != name) continue;
    fault.kind = kind;
    if (!value.empty()) {
      auto n = ParseI64(value);
      if (!n || *n < 0) {
        error = "bad value for " + key + ": " + value;
        return false;
      }
      fault.value = *n;
    }
    bool needsValue = kind == FaultKind::kDelay || kind == FaultKind::kHttp || kind == FaultKind::kStream;
    if (needsValue && fault.value < 0) {
      error = key + " needs a value";
      return false;
    }
    if (kind == FaultKind::kDelay) fault.value = std::min<std::int64_t>(fault.value, 30000);
    if (kind == FaultKind::kHttp && (fault.value < 100 || fault.value > 599)) {
      error = "http status out of range";
      return false;
    }
    return true;
  }
  error = "unknown fault kind: " + key;
  return false;
}

}  // namespace

bool Faults::Add(const std::string& spec, std::string& error) {
  Fault fault;
  bool haveKind = false;
  std::int64_t ttl = 300;
  // Split at "," but let the regex keep its own commas: path= takes the rest
  // up to the next ",key=" that names one of the known options.
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= spec.size()) {
    std::size_t comma = spec.find(',', start);
    while (comma != std::string::npos) {
      std::string next = spec.substr(comma + 1);
      if (next.rfind("path=", 0) == 0 || next.rfind("nth=", 0) == 0 || next.rfind("count=", 0) == 0 ||
          next.rfind("ttl=", 0) == 0)
        break;
      comma = spec.find(',', comma + 1);
    }
    parts.push_back(spec.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (const std::string& part : parts) {
    std::size_t eq = part.find('=');
    std::string key = part.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : part.substr(eq + 1);
    if (key == "path") {
      auto compiled = std::make_shared<const CompiledPattern>(value);
      if (!compiled->valid) {
        error = "bad path pattern: " + value;
        return false;
      }
      fault.regex = std::move(compiled);
      fault.pattern = value;
    } else if (key == "nth" || key == "count" || key == "ttl") {
      auto n = ParseI64(value);
      if (!n || *n < 1) {
        error = "bad " + key + ": " + value;
        return false;
      }
      if (key == "nth") fault.nth = static_cast<int>(std::min<std::int64_t>(*n, kMaxCount));
      if (key == "count") fault.count = static_cast<int>(std::min<std::int64_t>(*n, kMaxCount));
      if (key == "ttl") ttl = std::min(*n, kMaxTtlSeconds);
    } else if (!haveKind) {
      if (!SetKind(fault, key, value, error)) return false;
      haveKind = true;
    } else {
      error = "unexpected part: " + part;
      return false;
    }
  }
  if (!haveKind || fault.pattern.empty()) {
    error = "a fault needs a kind and path=REGEX";
    return false;
  }
  fault.expires = std::chrono::steady_clock::now() + std::chrono::seconds(ttl);
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
  return true;
}

void Faults::Clear() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<Fault> Faults::Take(const std::string& path, FaultPhase phase) {
  std::vector<Fault> firing;
  std::lock_guard lock(mutex_);
  if (faults_.empty()) return firing;
  auto now = std::chrono::steady_clock::now();
  for (Fault& fault : faults_) {
    if (PhaseOf(fault.kind) != phase || now > fault.expires || fault.fired >= fault.count) continue;
    if (regexec(&fault.regex->regex, path.c_str(), 0, nullptr, 0) != 0) continue;
    ++fault.seen;
    if (fault.seen < fault.nth) continue;
    ++fault.fired;
    firing.push_back(fault);
  }
  std::erase_if(faults_, [&](const Fault& f) { return f.fired >= f.count || now > f.expires; });
  return firing;
}

nlohmann::json Faults::List() const {
  nlohmann::json list = nlohmann::json::array();
  std::lock_guard lock(mutex_);
  for (const Fault& f : faults_) {
    list.push_back({{"kind", KindName(f.kind)}, {"value", f.value}, {"path", f.pattern},
                    {"nth", f.nth}, {"count", f.count}, {"seen", f.seen}, {"fired", f.fired}});
  }
  return list;
}

}  // namespace korvexd
