//===- app/BackupOptions.cpp - The backup part of "Options" ---------------===//

#include "app/BackupOptions.h"

#include "sync/SyncService.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace korvex::app {
namespace {

/// The daily time offered when none has been chosen yet; the service's own
/// pick lies between 09:00 and 17:59 too.
constexpr int kDefaultHour = 9;

/// Two digits, as a clock shows them.
class ClockSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QString textFromValue(int value) const override { return QString("%1").arg(value, 2, 10, QChar('0')); }
};

QSpinBox* TimeBox(const char* name, int maximum, QWidget* parent) {
  auto* box = new ClockSpinBox(parent);
  box->setObjectName(name);
  box->setRange(0, maximum);
  box->setWrapping(true);
  return box;
}

}  // namespace

CBackupOptions::CBackupOptions(SyncService& sync, const QString& runnerText, QWidget* parent)
    : QGroupBox(tr("Backuping Cycle"), parent), sync_(sync) {
  setObjectName("backupOptions");
  auto* cycle = new QComboBox(this);
  cycle->addItem(tr("Every Day"));
  hour_ = TimeBox("backupHour", 23, this);
  minute_ = TimeBox("backupMinute", 59, this);
  unset_ = new QLabel(tr("(not chosen yet: the first backup picks a time)"), this);
  auto* time = new QHBoxLayout;
  time->addWidget(cycle);
  time->addWidget(hour_);
  time->addWidget(new QLabel(":", this));
  time->addWidget(minute_);
  time->addWidget(unset_);
  time->addStretch();

  folders_ = new QTreeWidget(this);
  folders_->setObjectName("backupFolders");
  folders_->setRootIsDecorated(false);
  folders_->setHeaderLabels({tr("Local Path"), tr("Net URI"), tr("Status")});
  folders_->header()->setStretchLastSection(false);
  folders_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  folders_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  folders_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  folders_->setMinimumHeight(fontMetrics().height() * 6);
  // Wide enough that a usual local path is read without scrolling.
  folders_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 64);
  remove_ = new QPushButton(tr("Remove"), this);
  remove_->setObjectName("removeBackup");
  auto* removeRow = new QHBoxLayout;
  removeRow->addStretch();
  removeRow->addWidget(remove_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(time);
  if (!runnerText.isEmpty()) layout->addWidget(new QLabel(runnerText, this));
  layout->addWidget(folders_);
  layout->addLayout(removeRow);
  Load();

  const auto changed = [this] {
    timeChanged_ = true;
    unset_->hide();
  };
  connect(hour_, &QSpinBox::valueChanged, this, changed);
  connect(minute_, &QSpinBox::valueChanged, this, changed);
  connect(remove_, &QPushButton::clicked, this, &CBackupOptions::RemoveSelected);
  connect(folders_, &QTreeWidget::itemSelectionChanged, this,
          [this] { remove_->setEnabled(!folders_->selectedItems().isEmpty()); });
  remove_->setEnabled(false);
}

void CBackupOptions::Load() {
  const SyncSchedule schedule = sync_.Schedule();
  const bool unset = schedule.hour < 0 || schedule.minute < 0;
  hour_->setValue(unset ? kDefaultHour : schedule.hour);
  minute_->setValue(unset ? 0 : schedule.minute);
  unset_->setVisible(unset);
  for (const SyncFolder& folder : sync_.Folders()) {
    auto* row = new QTreeWidgetItem(folders_, {QString::fromStdString(folder.localPath),
                                               QString::fromStdString(folder.servicePath),
                                               folder.paused != 0 ? tr("Paused") : tr("Active")});
    row->setToolTip(0, row->text(0));
  }
}

void CBackupOptions::RemoveSelected() {
  for (QTreeWidgetItem* row : folders_->selectedItems()) {
    removed_.push_back(row->text(0).toStdString());
    delete row;
  }
}

bool CBackupOptions::Save(QString& problem) {
  if (timeChanged_) {
    if (Failed(sync_.SetSchedule(hour_->value(), minute_->value()))) {
      problem = tr("The backup time could not be saved.");
      return false;
    }
    timeChanged_ = false;
  }
  while (!removed_.empty()) {
    const HRESULT hr = sync_.RemoveFolder(removed_.back());
    // Gone already (another client removed it) is what the user wanted.
    if (Failed(hr) && hr != HR_FILE_NOT_FOUND) {
      problem = tr("The backup folder \"%1\" could not be removed.").arg(QString::fromStdString(removed_.back()));
      return false;
    }
    removed_.pop_back();
  }
  return true;
}

}  // namespace korvex::app
