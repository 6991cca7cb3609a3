//===- service/TransferReport.cpp - The record of a finished transfer ---===//

#include "service/TransferReport.h"

#include "platform/VersionMarker.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"

#include <sys/utsname.h>

#include <cstdio>

namespace korvex {
namespace {

constexpr double kTicksPerSecond = 10'000'000.0;

}  // namespace

std::string TransferReportRecord(const TransferReportFields& f) {
  const std::uint64_t seconds = f.elapsed100ns / 10'000'000u;
  std::string speed = "0";
  if (f.elapsed100ns != 0) {
    speed = FillTemplate(
        "%1%", (static_cast<double>(f.size) / 1024.0) / (static_cast<double>(f.elapsed100ns) / kTicksPerSecond));
  }
  return FillTemplate(
      "OS=%1%\tBrowser=client\tFlashVer=%2%\tTaskState=Completed\tRetryCount=%3%\tFileName=%4%\tTotal=%5%"
      "\tParentId=%6%\tFileId=%7%\tSeconds=%8%\tSpeed=(%9% K/s)\tAuth=%10%\tToken=%11%\tDir=%12%",
      f.osVersion, f.programVersion, f.retries, f.fileName, f.size, f.parentId, f.fileId, seconds, speed, f.auth,
      f.token, f.dir);
}

std::string OperatingSystemVersion() {
  utsname name{};
  unsigned major = 0, minor = 0;
  if (uname(&name) != 0 || std::sscanf(name.release, "%u.%u", &major, &minor) != 2) return "0.0";
  return FillTemplate("%1%.%2%", major, minor);
}

HRESULT KorvexDataStoreRemote::ReportTransfer(std::uint32_t dir, std::uint32_t retries, const std::string& fileName,
                                              std::uint64_t size, std::uint64_t parentId, std::uint64_t fileId,
                                              std::uint64_t elapsed100ns, const std::string& token,
                                              AsyncResult** result) {
  return Guarded(result, [&] {
    TransferReportFields fields{OperatingSystemVersion(),
                                std::string(ProgramVersion()),
                                retries,
                                fileName,
                                size,
                                parentId,
                                fileId,
                                elapsed100ns,
                                api_->AuthPro(),
                                token,
                                dir};
    std::string body = "log=" + EncodeFormText(TransferReportRecord(fields));
    return StartRequest(
        hrtTransferLog, {}, {}, [&](RequestContext* context) { return SendApiPost("/errorlog.php", body, context); },
        result);
  });
}

}  // namespace korvex
