//===- app/TransferCommands.cpp - Commands that move files ----------------===//

#include "app/TransferCommands.h"

#include "app/LocalDriveDlg.h"
#include "app/NetDriveDlg.h"
#include "app/Notice.h"
#include "app/TransferTexts.h"
#include "foundation/CryptoAPI.h"
#include "platform/AsciiText.h"
#include "session/LocalUpload.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QPointer>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include <filesystem>

namespace korvex::app {
namespace {

constexpr std::string_view kLockSuffix = ".lock";
constexpr HRESULT kPasswordMismatch = HResultFromWin32(86);

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The repeated-transfer message names a file and a folder cut to 32
// characters each, so that a deep path cannot stretch the box off screen.
QString Shortened(QString text) {
  constexpr int kShown = 32;
  return text.size() > kShown ? text.left(kShown) + "..." : text;
}

QString RepeatedText(const RefusedTransfer& refused, bool upload) {
  QString folder = Q(refused.to);
  while (folder.endsWith('/') || folder.endsWith('\\')) folder.chop(1);
  QString from = Q(refused.from);
  while (from.endsWith('/')) from.chop(1);
  const QString name = from.mid(from.lastIndexOf('/') + 1);
  const QString format = upload ? QObject::tr("Repeated upload mission, \nFrom:\t%1\nTo:\t%2")
                                : QObject::tr("Repeated download mission, \nFrom:\t%1\nTo:\t%2");
  return format.arg(Shortened(name), Shortened(folder));
}

}  // namespace

CTransferCommands::CTransferCommands(SessionTransfers* transfers, CNetDriveDlg& cloud, CLocalDriveDlg& local,
                                     QWidget& window, QLabel& statusLine)
    : QObject(&window),
      transfers_(transfers),
      cloud_(cloud),
      local_(local),
      window_(window),
      statusLine_(statusLine),
      progressTimer_(new QTimer(this)) {
  progressTimer_->setInterval(1000);
  connect(progressTimer_, &QTimer::timeout, this, &CTransferCommands::FollowProgress);
}

// The workers are children of this object: each must have ended before
// the object deletes it, and the visitor's upload uses the window's stores.
CTransferCommands::~CTransferCommands() {
  for (QThread* worker : findChildren<QThread*>()) worker->wait();
}

void CTransferCommands::AttachToPanes() {
  QAction* first = local_.View()->actions().value(0);
  local_.AddCommand(tr("&Upload"), QKeySequence(Qt::CTRL | Qt::Key_U), [this] { UploadSelection(false); }, first);
  local_.AddCommand(tr("&Encrypted Upload"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U),
                    [this] { UploadSelection(true); }, first);
  local_.AddCommand(tr("&Decrypt"), QKeySequence(), [this] { DecryptSelection(); }, first);
  local_.AddCommand(tr("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O), [this] { local_.OpenSelection(); }, first);
  local_.AddButton(tr("Upload"), [this] { UploadSelection(false); });
  local_.AddButton(tr("Encrypted Upload"), [this] { UploadSelection(true); });
  local_.AddButton(tr("Decrypt"), [this] { DecryptSelection(); });

  first = cloud_.View()->actions().value(0);
  cloud_.AddCommand(tr("&Download"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] { DownloadSelection(); }, first,
                    kCmdDownload);
  cloud_.AddCommand(tr("Download &To..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D),
                    [this] { DownloadSelectionTo(); }, first, kCmdDownloadTo);
  cloud_.AddButton(tr("Download To..."), [this] { DownloadSelectionTo(); }, kCmdDownloadTo);
  cloud_.UpdateCommands();

  connect(&cloud_, &CDataStoreDlgBase::dropped, this, [this](const QStringList& paths, const QStringList&) {
    std::vector<std::string> local;
    for (const QString& path : paths) {
      std::error_code ec;
      std::string address = path.toStdString();
      if (std::filesystem::is_directory(address, ec) && address.back() != '/') address += '/';
      local.push_back(std::move(address));
    }
    UploadPaths(local);
  });
  connect(&local_, &CDataStoreDlgBase::dropped, this, [this](const QStringList&, const QStringList& uris) {
    std::vector<std::shared_ptr<ObjectInfo>> entries;
    for (const QString& uri : uris) {
      if (auto entry = cloud_.EntryAt(uri.toStdString())) entries.push_back(std::move(entry));
    }
    Download(entries, local_.CurrentFolderPath(), false);
  });
}

void CTransferCommands::UploadPaths(const std::vector<std::string>& paths, const std::string& password) {
  // Drive roots are never uploaded, whichever way they arrived.
  std::vector<std::string> sources;
  for (const std::string& path : paths) {
    if (!path.empty() && path != "/") sources.push_back(path);
  }
  if (sources.empty()) return;
  if (!cloud_.Permits(kCmdUpload)) {
    ShowNotice(&window_, tr("Upload"), tr("The cloud folder shown does not take uploads; open one that does."));
    return;
  }
  if (!transfers_) {
    // The visitor's upload cannot encrypt; sending the file in clear text
    // instead would betray what the user asked for.
    if (!password.empty()) {
      ShowNotice(&window_, tr("Encrypted Upload"), tr("An access-code login cannot upload encrypted files."));
      return;
    }
    UploadAsVisitor(sources);
    return;
  }
  std::vector<std::uint32_t> queued;
  std::vector<RefusedTransfer> refused;
  transfers_->Upload(sources, cloud_.Model()->Container(), password, queued, refused);
  Report(queued, refused, true);
}

// A visitor may only add files to the code's folder, one at a time; the
// upload runs on its own thread and the window keeps answering meanwhile.
void CTransferCommands::UploadAsVisitor(const std::vector<std::string>& paths) {
  if (visitorUpload_) {
    ShowNotice(&window_, tr("Upload"), tr("Wait until the files being uploaded have arrived."));
    return;
  }
  std::vector<std::string> files;
  QStringList skipped;
  for (const std::string& path : paths) {
    if (path.back() == '/') skipped << Q(path);
    else files.push_back(path);
  }
  if (!skipped.isEmpty()) {
    ShowNotice(&window_, tr("Upload"), tr("An access code takes files, not folders:\n%1").arg(skipped.join('\n')));
  }
  if (files.empty()) return;
  DataStore* store = cloud_.Model()->Store();
  auto failures = std::make_shared<QStringList>();
  visitorUpload_ = QThread::create([store, into = cloud_.Model()->Container(), files, failures] {
    for (const std::string& file : files) {
      ItemInfo item;
      std::string message;
      const HRESULT hr = session::UploadLocalFile(*store, into, file, /*overwrite=*/false, /*progress=*/nullptr, item, message);
      if (Failed(hr)) {
        *failures << QObject::tr("%1: %2").arg(Q(file), message.empty() ? QObject::tr("error 0x%1").arg(static_cast<quint32>(hr), 8, 16, QChar('0'))
                                                                       : Q(message));
      }
    }
  });
  visitorUpload_->setParent(this);
  statusLine_.setText(tr("Uploading %n file(s)...", nullptr, static_cast<int>(files.size())));
  connect(visitorUpload_, &QThread::finished, this, [this, failures, count = files.size()] {
    visitorUpload_->deleteLater();
    visitorUpload_ = nullptr;
    statusLine_.setText(tr("%n file(s) uploaded.", nullptr, static_cast<int>(count - static_cast<std::size_t>(failures->size()))));
    if (!failures->isEmpty()) ShowNotice(&window_, tr("Upload"), failures->join('\n'));
    (void)cloud_.Refresh();
  });
  visitorUpload_->start();
}

void CTransferCommands::UploadSelection(bool encrypted) {
  const std::vector<std::string> paths = local_.SelectedPaths();
  if (paths.empty()) return;
  std::string password;
  if (encrypted) {
    bool ok = false;
    const QString typed = QInputDialog::getText(&window_, tr("Encrypted Upload"), tr("Password:"),
                                                QLineEdit::Password, {}, &ok);
    if (!ok || typed.isEmpty()) return;
    password = typed.toStdString();
  }
  UploadPaths(paths, password);
}

void CTransferCommands::Download(const std::vector<std::shared_ptr<ObjectInfo>>& entries, const std::string& folder,
                                 bool overwrite) {
  if (entries.empty()) return;
  if (!transfers_) {
    ShowNotice(&window_, tr("Download"), tr("An access-code login can only upload."));
    return;
  }
  if (folder.empty()) {
    local_.ShowNotice(tr("Open a folder of this computer to download into."));
    return;
  }
  std::vector<std::uint32_t> queued;
  std::vector<RefusedTransfer> refused;
  transfers_->Download(entries, folder, overwrite, queued, refused);
  Report(queued, refused, false);
}

// The views under "My Cloud" are whole disks, and some folders may not be
// read: what the pane does not offer is not downloaded either.
bool CTransferCommands::DownloadRefused() {
  if (cloud_.SelectedEntries().empty() || cloud_.Permits(kCmdDownload)) return false;
  ShowNotice(&window_, tr("Download"), tr("The selection cannot be downloaded from here."));
  return true;
}

void CTransferCommands::DownloadSelection() {
  if (DownloadRefused()) return;
  Download(cloud_.SelectedEntries(), local_.CurrentFolderPath(), false);
}

void CTransferCommands::DownloadSelectionTo() {
  const auto entries = cloud_.SelectedEntries();
  if (entries.empty() || DownloadRefused()) return;
  QFileDialog dialog(&window_, tr("Select Target Folder"), Q(local_.CurrentFolderPath()));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  auto* overwrite = new QCheckBox(tr("Overwrite existed"), &dialog);
  if (auto* layout = dialog.layout()) layout->addWidget(overwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  std::string folder = dialog.selectedFiles().front().toStdString();
  if (folder.back() != '/') folder += '/';
  Download(entries, folder, overwrite->isChecked());
}

void CTransferCommands::Report(const std::vector<std::uint32_t>& queued, const std::vector<RefusedTransfer>& refused,
                               bool upload) {
  QStringList problems;
  for (const RefusedTransfer& r : refused) {
    if (r.status == kDuplicateTransfer) problems << RepeatedText(r, upload);
    else if (r.status == kTransferTooLarge) problems << SizeLimitedText(upload, Q(r.from), r.size);
    else problems << tr("%1: failed (error 0x%2)").arg(Q(r.from)).arg(static_cast<quint32>(r.status), 8, 16, QChar('0'));
  }
  if (!problems.isEmpty()) {
    const auto all = [&refused](HRESULT status) {
      return std::all_of(refused.begin(), refused.end(), [status](const RefusedTransfer& r) { return r.status == status; });
    };
    const QString title = all(kDuplicateTransfer) ? tr("Repeated Mission")
                          : all(kTransferTooLarge) ? tr("Size limited")
                                                   : tr("Transfer");
    ShowNotice(&window_, title, problems.join("\n\n"));
  }
  if (queued.empty()) return;
  QList<quint32> ids;
  for (const std::uint32_t id : queued) {
    following_[id] = upload;
    ids << id;
  }
  progressTimer_->start();
  FollowProgress();
  emit transfersQueued(ids);
}

void CTransferCommands::UpdateStatusLine() {
  // Not from inside the caller's signal: a finished transfer lists a pane
  // again, which may wait with an event loop of its own. One update covers
  // every change until it runs.
  if (following_.empty() || updatePosted_) return;
  updatePosted_ = true;
  QTimer::singleShot(0, this, [this] {
    updatePosted_ = false;
    if (!following_.empty()) FollowProgress();
  });
}

// What the followed families do now, for the status line.
struct CTransferCommands::Followed {
  int moving = 0;   // running and not waiting to retry
  int waiting = 0;  // queued, or waiting to retry
  int asking = 0;   // stopped on a taken name until the user answers
  std::uint64_t done = 0;
  std::uint64_t total = 0;
  bool totalKnown = true;  // a folder's total is known once its walk has queued every file
  QString stopped;         // why the last family that left the line ended
};

// Sums up what this window started and lists a pane again once a transfer
// into it has ended, so that what arrived shows without a manual refresh.
// Only bytes that move make a "Transferring" line: a family waiting for
// the user, a free executor or a retry says so instead.
void CTransferCommands::FollowProgress() {
  Followed now;
  bool refreshCloud = false;
  bool refreshLocal = false;
  for (auto it = following_.begin(); it != following_.end();) {
    const auto family = transfers_->Manager().GetFamily(it->first);
    const FamilyState state = family ? family->state.load() : FamilyState::kCompleted;
    if (state == FamilyState::kStopped && family->lastError == HR_ALREADY_EXISTS) {
      ++now.asking;  // still followed: the answer resumes it
    } else if (state == FamilyState::kCompleted || state == FamilyState::kStopped) {
      (it->second ? refreshCloud : refreshLocal) = true;
      if (family && state == FamilyState::kStopped) now.stopped = StoppedText(*family);
      it = following_.erase(it);
      continue;
    } else if (state == FamilyState::kQueued || family->retryCount > 0) {
      ++now.waiting;
    } else {
      ++now.moving;
      const FamilyProgress progress = family->Progress();
      now.done += progress.doneBytes;
      now.totalKnown = now.totalKnown && progress.totalBytes && *progress.totalBytes >= progress.doneBytes;
      now.total += progress.totalBytes.value_or(0);
    }
    ++it;
  }
  if (refreshCloud) (void)cloud_.Refresh();
  if (refreshLocal) (void)local_.Refresh();
  if (!following_.empty()) {
    statusLine_.setText(FollowedText(now));
    return;
  }
  progressTimer_->stop();
  const QString ended = now.stopped.isEmpty() ? tr("Transfers finished.") : now.stopped;
  statusLine_.setText(ended);
  // Said once; a later line (a new transfer) is not cleared by this one.
  QTimer::singleShot(kFinishedLineMs, &statusLine_, [line = &statusLine_, ended] {
    if (line->text() == ended) line->clear();
  });
}

QString CTransferCommands::FollowedText(const Followed& now) {
  if (now.moving > 0) {
    const QString doneText = FormatBytes(now.done);
    if (now.totalKnown && now.total > 0) {
      return tr("Transferring %n item(s): %1% (%2 of %3)", nullptr, now.moving)
          .arg(static_cast<int>(now.done * 100 / now.total))
          .arg(doneText, FormatBytes(now.total));
    }
    return tr("Transferring %n item(s): %1 so far", nullptr, now.moving).arg(doneText);
  }
  if (now.asking > 0) return tr("A name exists: the transfer waits for your answer.");
  return tr("%n transfer(s) waiting to go on.", nullptr, now.waiting);
}

QString CTransferCommands::StoppedText(const TaskFamily& family) {
  const QString name = EntryName(Q(family.SourcePath()));
  // The user's own pause is no failure.
  if (!Failed(family.lastError) || family.lastError == E_ABORT) return tr("Paused: %1").arg(name);
  return tr("A transfer stopped: %1: %2").arg(name, FailureText(family.lastError, family.LastErrorText()));
}

void CTransferCommands::DecryptSelection() {
  for (const std::string& path : local_.SelectedPaths()) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.size() <= kLockSuffix.size() || !EndsWithIgnoringAsciiCase(name, kLockSuffix)) {
      ShowNotice(&window_, tr("Decrypt"), tr("\"%1\" is not an encrypted file (\".lock\").").arg(Q(name)));
      continue;
    }
    bool ok = false;
    const QString password = QInputDialog::getText(&window_, tr("Decrypt"), tr("Password for \"%1\":").arg(Q(name)),
                                                   QLineEdit::Password, {}, &ok);
    if (ok && !password.isEmpty()) Decrypt(path, password);
  }
}

// Decrypting a large file takes a while: it runs on its own thread, and the
// encrypted file is removed only after the plain one is complete.
void CTransferCommands::Decrypt(const std::string& path, const QString& password) {
  namespace fs = std::filesystem;
  const fs::path source = path;
  const std::string name = source.filename().string();
  const fs::path target = source.parent_path() / name.substr(0, name.size() - kLockSuffix.size());
  std::error_code ec;
  if (fs::exists(target, ec)) {
    ShowNotice(&window_, tr("Decrypt"), tr("\"%1\" exists already; it is left as it is.").arg(Q(target.string())));
    return;
  }
  auto status = std::make_shared<HRESULT>(E_FAIL);
  QThread* worker = QThread::create([source, target, status, secret = password.toStdString()] {
    CryptoAPI crypto;
    *status = crypto.DecryptFile(source, target, secret);
    std::error_code removeError;
    if (Succeeded(*status) && !fs::remove(source, removeError)) *status = HResultFromWin32(5);
  });
  worker->setParent(this);
  local_.ShowNotice(tr("Decrypting \"%1\"...").arg(Q(name)));
  QPointer<CLocalDriveDlg> pane(&local_);
  connect(worker, &QThread::finished, this, [this, worker, status, pane, name] {
    worker->deleteLater();
    if (!pane) return;
    if (*status == kPasswordMismatch) {
      ShowNotice(&window_, tr("Decrypt"), tr("The password you entered to not match. Please re-enter."));
    }
    pane->ShowStatus(*status == kPasswordMismatch ? S_OK : *status, tr("Decrypting \"%1\"").arg(Q(name)));
    if (Succeeded(*status)) pane->ShowNotice(tr("\"%1\" decrypted.").arg(Q(name)));
    (void)pane->Refresh();
  });
  worker->start();
}

}  // namespace korvex::app
