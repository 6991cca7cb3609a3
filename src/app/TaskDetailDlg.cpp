//===- app/TaskDetailDlg.cpp - One transfer family in detail --------------===//

#include "app/TaskDetailDlg.h"

#include "app/TransferListModel.h"
#include "app/TransferTexts.h"
#include "foundation/ShownText.h"
#include "tasks/Task.h"
#include "tasks/TaskFailures.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <variant>

namespace korvex::app {
namespace {

// Long enough for a folder's listing, short enough not to load the task lock.
constexpr int kMaxListedTasks = 500;

// A download's sources are service addresses: their root is named in the
// language shown now, not in the one the transfer was queued in.
QString SourceText(const std::string& source, TransferDirection direction) {
  return QString::fromStdString(ShownText(direction == TransferDirection::kDownload ? ShownServicePath(source) : source));
}

QString TaskLine(const Task& task, TransferDirection direction) {
  const TaskRecord record = task.Record();
  if (const auto* file = std::get_if<FileTaskRecord>(&record)) {
    return SourceText(file->source.path, direction) + "  (" + FormatBytes(file->fileSize) + ")";
  }
  return SourceText(std::get<DirectoryTaskRecord>(record).source.path, direction);
}

QString DirectionText(TransferDirection direction) {
  switch (direction) {
    case TransferDirection::kUpload: return CTaskDetailDlg::tr("Upload");
    case TransferDirection::kDownload: return CTaskDetailDlg::tr("Download");
    case TransferDirection::kSyncUpload: return CTaskDetailDlg::tr("Backup");
  }
  return {};
}

}  // namespace

CTaskDetailDlg::CTaskDetailDlg(std::shared_ptr<TaskFamily> family, QWidget* parent)
    : QDialog(parent), family_(std::move(family)) {
  setObjectName("taskDetail");
  setWindowTitle(tr("Transfer"));
  const auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
  };
  name_ = label("taskName");
  netUrl_ = label("netUrl");
  localPath_ = label("localPath");
  type_ = label("taskType");
  state_ = label("transferState");
  unfinished_ = label("unfinished");
  retry_ = label("retry");
  tasks_ = new QListWidget(this);
  tasks_->setObjectName("unfinishedTasks");

  auto* form = new QFormLayout;
  form->addRow(tr("Task Name:"), name_);
  form->addRow(tr("Net Url:"), netUrl_);
  form->addRow(tr("Local Path:"), localPath_);
  form->addRow(tr("Task Type:"), type_);
  form->addRow(tr("Transfer State:"), state_);
  form->addRow(tr("Unfinished:"), unfinished_);
  form->addRow(tr("Retry:"), retry_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(new QLabel(tr("Unfinished Task List:"), this));
  layout->addWidget(tasks_);
  layout->addWidget(buttons);
  resize(560, 420);

  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &CTaskDetailDlg::Refresh);
  timer->start(1000);
  Refresh();
}

void CTaskDetailDlg::Refresh() {
  const TaskFamily& family = *family_;
  name_->setText(EntryName(QString::fromStdString(family.SourcePath())));
  netUrl_->setText(TransferListModel::ServiceEnd(family));
  localPath_->setText(TransferListModel::LocalEnd(family));
  type_->setText(DirectionText(family.Direction()));
  state_->setText(TransferListModel::StateText(family));
  retry_->setText(QString::number(family.retryCount.load()));

  // The running task's record changes under its executor, so only the
  // waiting ones are listed; the count includes the running one.
  QStringList lines;
  family.ForEachQueuedTask([&](const Task& task) {
    if (lines.size() < kMaxListedTasks) lines << TaskLine(task, family.Direction());
  });
  // Files given up stay listed with their reason: they were not moved.
  for (const FailedTask& failed : FailedTasks(family)) {
    if (lines.size() >= kMaxListedTasks) break;
    const QString source = SourceText(failed.source, family.Direction());
    // A name that was taken and skipped at the user's word is no failure.
    if (failed.error == HR_ALREADY_EXISTS) lines << tr("Skipped (the name exists): %1").arg(source);
    else lines << tr("Failed: %1: %2").arg(source, FailureText(failed.error, failed.text));
  }
  const bool running = family.CurrentTask() != nullptr;
  unfinished_->setText(QString::number(family.PendingCount() + (running ? 1 : 0)));
  tasks_->clear();
  tasks_->addItems(lines);
}

}  // namespace korvex::app
