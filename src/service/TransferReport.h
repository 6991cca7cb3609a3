//===- service/TransferReport.h - The record of a finished transfer -*- C++ -*-===//
///
/// After a file transfer completes the client reports it to the service as
/// one tab-separated record (KorvexDataStoreRemote::ReportTransfer). The
/// record's shape is fixed by what the service's report collector parses.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>

namespace korvex {

struct TransferReportFields {
  std::string osVersion;       ///< "major.minor"
  std::string programVersion;  ///< "a.b.c.d"
  std::uint32_t retries = 0;
  std::string fileName;
  std::uint64_t size = 0;
  std::uint64_t parentId = 0;
  std::uint64_t fileId = 0;
  std::uint64_t elapsed100ns = 0;
  std::string auth;  ///< the session's AUTH_PRO value
  std::string token;
  std::uint32_t dir = 0;
};

/// "OS=..\tBrowser=client\tFlashVer=..\tTaskState=Completed\t..\tDir=..",
/// not yet encoded for the form. Seconds are whole seconds rounded down;
/// the speed is KiB per second in six significant digits, and "0" for an
/// elapsed time of 0, which has no speed.
[[nodiscard]] std::string TransferReportRecord(const TransferReportFields& fields);

/// The running kernel's version as "major.minor"; "0.0" when unreadable.
[[nodiscard]] std::string OperatingSystemVersion();

}  // namespace korvex
