//===- app/TransferTexts.cpp - How the transfer list words things ---------===//

#include "app/TransferTexts.h"

#include "foundation/ShownText.h"
#include "foundation/StatusMessages.h"
#include "foundation/StringTable.h"
#include "net/HttpRequestor.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

namespace korvex::app {
namespace {

// Texts are marked where they stand (QT_TRANSLATE_NOOP) so that lupdate
// finds them, and translated here.
QString Tr(const char* text) { return QCoreApplication::translate("TransferTexts", text); }

struct KnownFailure {
  std::uint32_t status;
  const char* text;
};

constexpr std::uint32_t Transport(std::uint32_t number) { return kHttpFacilityBits | number; }

// Failures the service's table leaves to "Unknown error type": what the
// local disk and the connection say most often.
constexpr KnownFailure kKnownFailures[] = {
    {0x80070002u, QT_TRANSLATE_NOOP("TransferTexts", "The file or folder does not exist")},
    {0x80070003u, QT_TRANSLATE_NOOP("TransferTexts", "The folder does not exist")},
    {0x80070005u, QT_TRANSLATE_NOOP("TransferTexts", "Access denied")},
    {0x80070020u, QT_TRANSLATE_NOOP("TransferTexts", "The file is in use by another program")},
    {0x80070050u, QT_TRANSLATE_NOOP("TransferTexts", "The name exists")},
    {0x800700B7u, QT_TRANSLATE_NOOP("TransferTexts", "The name exists")},
    {0x80070070u, QT_TRANSLATE_NOOP("TransferTexts", "The disk is full")},
    {0x800700CEu, QT_TRANSLATE_NOOP("TransferTexts", "The name is too long")},
    {0x800700A1u, QT_TRANSLATE_NOOP("TransferTexts", "The path is not valid")},
    {0x8007000Eu, QT_TRANSLATE_NOOP("TransferTexts", "Not enough memory")},
    {0x804F0007u, QT_TRANSLATE_NOOP("TransferTexts", "The cloud disk is full")},
    {0x80071F44u, QT_TRANSLATE_NOOP("TransferTexts", "A part of the file arrived damaged")},
    {0x80071F45u, QT_TRANSLATE_NOOP("TransferTexts", "The file changed while it was being uploaded")},
    {0x80071F47u, QT_TRANSLATE_NOOP("TransferTexts", "The file arrived damaged")},
    {Transport(kHttpErrorTimeout), QT_TRANSLATE_NOOP("TransferTexts", "The service did not answer in time")},
    {Transport(kHttpErrorNameNotResolved), QT_TRANSLATE_NOOP("TransferTexts", "The service's host name cannot be resolved")},
    {Transport(kHttpErrorCannotConnect), QT_TRANSLATE_NOOP("TransferTexts", "Cannot connect to the service")},
    {Transport(kHttpErrorConnectionReset), QT_TRANSLATE_NOOP("TransferTexts", "The connection to the service was cut")},
    {Transport(kHttpErrorSecureFailure),
     QT_TRANSLATE_NOOP("TransferTexts", "The secure connection to the service failed")},
};

}  // namespace

QString FormatBytes(std::uint64_t bytes) {
  // The locale of the chosen language words it ("30 bytes", "4.8 MB", or
  // their Chinese): panes, list and dialogs all say sizes this one way.
  return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

QString FormatDuration(double seconds) {
  const auto total = static_cast<long long>(seconds < 0 ? 0 : seconds);
  return QStringLiteral("%1:%2:%3")
      .arg(total / 3600, 2, 10, QChar('0'))
      .arg(total / 60 % 60, 2, 10, QChar('0'))
      .arg(total % 60, 2, 10, QChar('0'));
}

QString HexStatus(HRESULT status) {
  return QStringLiteral("0x%1").arg(static_cast<quint32>(status), 8, 16, QChar('0')).toUpper().replace("0X", "0x");
}

QString FailureText(HRESULT status, const std::string& detail) {
  std::string text;
  if (StatusMessages::Get().Lookup(status, text)) return QString::fromStdString(text);
  const auto code = static_cast<std::uint32_t>(status);
  for (const KnownFailure& known : kKnownFailures)
    if (known.status == code) return Tr(known.text);
  // An HTTP status the service answered with (0x804F0194 is 404).
  if ((code & 0xFFFF0000u) == kHttpFacilityBits && (code & 0xFFFFu) >= 400 && (code & 0xFFFFu) < 600)
    return Tr(QT_TRANSLATE_NOOP("TransferTexts", "The service answered with HTTP status %1")).arg(code & 0xFFFFu);
  if (!detail.empty()) return QString::fromStdString(ShownText(detail));
  return Tr(QT_TRANSLATE_NOOP("TransferTexts", "Error %1")).arg(HexStatus(status));
}

int PercentDone(FamilyState state, const FamilyProgress& progress) {
  if (state == FamilyState::kCompleted) return 100;
  if (!progress.totalBytes || *progress.totalBytes == 0) return 0;
  return static_cast<int>(std::min<std::uint64_t>(100, progress.doneBytes * 100 / *progress.totalBytes));
}

QString EntryName(const QString& path) {
  QString trimmed = path;
  while (trimmed.size() > 1 && (trimmed.endsWith('/') || trimmed.endsWith('\\'))) trimmed.chop(1);
  const qsizetype slash = std::max(trimmed.lastIndexOf('/'), trimmed.lastIndexOf('\\'));
  return slash < 0 ? trimmed : trimmed.mid(slash + 1);
}

std::string ShownServicePath(const std::string& path) {
  static constexpr unsigned kRoots[] = {kIdsRootMyDisk,   kIdsRootShareForMe, kIdsRootMyBackup, kIdsRootVezoSpace,
                                        kIdsRootMyUploading, kIdsRootMyFolder,   kIdsRootMyCloud};
  for (const unsigned id : kRoots) {
    for (const LanguageId language : {kLanguageEnglish, kLanguageChinese}) {
      const std::string root = "/" + std::string(UiString(id, language)) + "/";
      if (path.starts_with(root)) return "/" + std::string(UiString(id)) + "/" + path.substr(root.size());
    }
  }
  return path;
}

QString SizeLimitedText(bool upload, const QString& path, std::uint64_t bytes) {
  const QString size = bytes >= 1024 ? Tr(QT_TRANSLATE_NOOP("TransferTexts", "%1 KB")).arg(bytes / 1024)
                                     : Tr(QT_TRANSLATE_NOOP("TransferTexts", "%1 B")).arg(bytes);
  const QString text =
      upload ? Tr(QT_TRANSLATE_NOOP("TransferTexts", "Size limited, the file(s) can't be uploaded: \nPath:\t%1\nSize:\t%2"))
             : Tr(QT_TRANSLATE_NOOP("TransferTexts", "Size limited, the file(s) can't be downloaded: \nPath:\t%1\nSize:\t%2"));
  return text.arg(path, size);
}

}  // namespace korvex::app
