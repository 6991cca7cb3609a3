//===- app/TransferListCtrl.cpp - The transfer list under the panes -------===//

#include "app/TransferListCtrl.h"

#include "app/ConflictDlg.h"
#include "app/TaskDetailDlg.h"
#include "app/TransferOutcome.h"
#include "app/TransferListModel.h"
#include "app/TransferTexts.h"
#include "foundation/ShownText.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskManager.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace korvex::app {
namespace {

class ProgressDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = index.data(TransferListModel::kPercentRole).toInt();
    bar.text = index.data().toString();
    bar.textVisible = true;
    bar.state = option.state | QStyle::State_Horizontal;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
  }
};

// A reason is read from its start: cut at the end, not in the middle as
// the paths are.
class ReasonDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideRight;
  }
};

}  // namespace

CTransferListCtrl::CTransferListCtrl(TaskManager& manager, QWidget* parent)
    : QWidget(parent), manager_(manager), model_(new TransferListModel(manager, this)) {
  setObjectName("transferList");
  view_ = new QTableView(this);
  view_->setModel(model_);
  view_->setItemDelegateForColumn(TransferListModel::kProgress, new ProgressDelegate(view_));
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->hide();
  view_->setWordWrap(false);
  view_->setTextElideMode(Qt::ElideMiddle);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setColumnWidth(TransferListModel::kName, 180);
  view_->setColumnWidth(TransferListModel::kProgress, 120);
  view_->setItemDelegateForColumn(TransferListModel::kStatus, new ReasonDelegate(view_));
  // Wide enough for "Pause: the name exists, waiting for your answer"; a
  // longer reason shows whole in the row's tip and the detail dialog.
  view_->setColumnWidth(TransferListModel::kKind, 70);
  view_->setColumnWidth(TransferListModel::kDirection, 80);
  view_->setColumnWidth(TransferListModel::kSize, 80);
  view_->setColumnWidth(TransferListModel::kSpeed, 90);
  view_->setColumnWidth(TransferListModel::kRemain, 70);
  view_->setColumnWidth(TransferListModel::kElapsed, 70);
  view_->setColumnWidth(TransferListModel::kStatus, 320);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QTableView::doubleClicked, this, &CTransferListCtrl::ViewDetail);

  BuildMenu();
  connect(view_, &QTableView::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->popup(view_->viewport()->mapToGlobal(at)); });
  connect(model_, &TransferListModel::familyFinished, this, &CTransferListCtrl::OnFamilyFinished);
  conflicts_ = new CConflictAsker(manager_, this);
  autoSkip_ = new QTimer(this);
  autoSkip_->setObjectName("autoSkipTimer");
  autoSkip_->setSingleShot(true);
  autoSkip_->setInterval(kAutoSkipDelayMs);
  connect(autoSkip_, &QTimer::timeout, this, &CTransferListCtrl::SkipErrorsAutomatically);

  auto* buttons = new QHBoxLayout;
  const auto addButton = [&](const QString& text, const char* name, void (CTransferListCtrl::*command)()) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, command);
    buttons->addWidget(button);
  };
  addButton(tr("Start"), "startButton", &CTransferListCtrl::StartSelected);
  addButton(tr("Pause"), "pauseButton", &CTransferListCtrl::PauseSelected);
  auto* remove = new QPushButton(tr("Delete"), this);
  remove->setObjectName("deleteButton");
  connect(remove, &QPushButton::clicked, this, [this] { DeleteSelected(); });
  buttons->addWidget(remove);
  addButton(tr("Detail"), "detailButton", &CTransferListCtrl::ViewDetail);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(buttons);
  layout->addWidget(view_);
}

CTransferListCtrl::~CTransferListCtrl() = default;

void CTransferListCtrl::BuildMenu() {
  menu_ = new QMenu(tr("&Transfer"), this);
  menu_->addAction(tr("&Start"), this, &CTransferListCtrl::StartSelected);
  menu_->addAction(tr("&Pause"), this, &CTransferListCtrl::PauseSelected);
  menu_->addAction(tr("&Delete"), this, [this] { DeleteSelected(); });
  menu_->addSeparator();
  menu_->addAction(tr("Start All"), this, &CTransferListCtrl::StartAll);
  menu_->addAction(tr("Pause All"), this, &CTransferListCtrl::PauseAll);
  menu_->addAction(tr("Clear All Completed"), this, &CTransferListCtrl::ClearCompleted);
  menu_->addSeparator();
  menu_->addAction(tr("Skip Error"), this, &CTransferListCtrl::SkipError);
  menu_->addAction(tr("View Detail"), this, &CTransferListCtrl::ViewDetail);
}

std::vector<std::uint32_t> CTransferListCtrl::SelectedIds() const {
  std::vector<std::uint32_t> ids;
  for (const QModelIndex& index : view_->selectionModel()->selectedRows()) {
    if (auto family = model_->FamilyAt(index.row())) ids.push_back(family->Id());
  }
  return ids;
}

void CTransferListCtrl::StartSelected() { (void)manager_.ResumeFamilies(SelectedIds()); }

void CTransferListCtrl::PauseSelected() { (void)manager_.StopFamilies(SelectedIds()); }

void CTransferListCtrl::DeleteSelected(bool confirm) {
  const std::vector<std::uint32_t> ids = SelectedIds();
  if (ids.empty()) return;
  if (confirm && QMessageBox::question(this, tr("Delete"), tr("Delete the selected transfer(s)?")) != QMessageBox::Yes)
    return;
  TaskManager& manager = manager_;
  for (const std::uint32_t id : ids) {
    const auto family = manager.GetFamily(id);
    if (!family) continue;
    if (family->state == FamilyState::kCompleted) {
      (void)manager.RemoveFamily(id, true);
      continue;
    }
    // A running family finishes its current block first; then it is stopped
    // and its cancel undoes the partial target.
    if (family->state != FamilyState::kStopped) (void)manager.StopFamily(id);
    if (family->canceling != 0 || manager.CancelFamily(id)) removeWhenDone_.insert(id);
  }
}

void CTransferListCtrl::StartAll() {
  const std::vector<std::uint32_t> ids = model_->FamilyIds();
  (void)manager_.ResumeFamilies(ids);
}

void CTransferListCtrl::PauseAll() {
  const std::vector<std::uint32_t> ids = model_->FamilyIds();
  (void)manager_.StopFamilies(ids);
}

void CTransferListCtrl::ClearCompleted() {
  std::vector<std::uint32_t> completed;
  for (int row = 0; row < model_->rowCount(); ++row) {
    const auto family = model_->FamilyAt(row);
    if (family->state == FamilyState::kCompleted) completed.push_back(family->Id());
  }
  (void)manager_.RemoveFamilies(completed, true);
}

void CTransferListCtrl::SkipError() {
  for (const std::uint32_t id : SelectedIds()) (void)manager_.SkipFailedTask(id);
}

void CTransferListCtrl::SkipErrorsAutomatically() {
  for (const std::uint32_t id : model_->FamilyIds()) {
    const auto family = manager_.GetFamily(id);
    if (!family || family->state != FamilyState::kStopped) continue;
    const HRESULT error = family->lastError;
    if (error == HR_ALREADY_EXISTS || error == HR_SERVICE_NO_SPACE || error == HR_DISK_QUOTA) continue;
    // Only a task that failed for itself: what a connection can mend waits
    // for the network's return, not for a skip.
    const ErrorRuleOutcome rule = ApplyErrorRules({error, family->Direction(), 0, false});
    if (rule.action != ErrorRuleOutcome::Action::kReport || rule.detail != ErrorDetail::kFamilyStops) continue;
    (void)manager_.SkipFailedTask(id);  // refuses a pause and a canceling family itself
  }
}

void CTransferListCtrl::ViewDetail() {
  const QModelIndex current = view_->currentIndex();
  const auto family = model_->FamilyAt(current.isValid() ? current.row() : -1);
  if (!family) return;
  auto* dialog = new CTaskDetailDlg(family, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

void CTransferListCtrl::OnFamilyFinished(std::uint32_t id, bool succeeded, HRESULT error) {
  if (removeWhenDone_.erase(id) != 0) {
    if (succeeded) (void)manager_.RemoveFamily(id, true);
    return;
  }
  const auto family = manager_.GetFamily(id);
  if (!family) return;
  if (!succeeded && error == HR_ALREADY_EXISTS) {
    conflicts_->Ask(id);  // asked, not notified
    return;
  }
  if (!succeeded) autoSkip_->start();
  const QString name = EntryName(QString::fromStdString(family->SourcePath()));
  // A file given up (or skipped) was not transferred: the end says so.
  const std::vector<FailedTask> failed = FailedTasks(*family);
  const TransferOutcome outcome = OutcomeOf(*family);
  if (succeeded && outcome.failed == 0 && family->canceling == 0) {
    emit transferFinished(CompletedTitle(outcome), name, outcome.skipped == 0);
    return;
  }
  if (succeeded && family->canceling != 0) {
    emit transferFinished(tr("Transfer cancelled"), name, true);
    return;
  }
  if (succeeded) {
    QString lines;
    for (const FailedTask& f : failed)
      lines += "\n" + EntryName(QString::fromStdString(ShownText(f.source))) + ": " + FailureText(f.error, f.text);
    emit transferFinished(CompletedTitle(outcome), name + lines, false);
    return;
  }
  emit transferFinished(tr("Transfer stopped"), name + "\n" + FailureText(error, family->LastErrorText()), false);
}

}  // namespace korvex::app
