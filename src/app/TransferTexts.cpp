//===- app/TransferTexts.cpp - How the transfer list words things ---------===//

#include "app/TransferTexts.h"

#include "foundation/StringTable.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

namespace korvex::app {
namespace {

// Texts are marked where they stand (QT_TRANSLATE_NOOP) so that lupdate
// finds them, and translated here.
QString Tr(const char* text) { return QCoreApplication::translate("TransferTexts", text); }

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
