//===- app/TransferListModel.cpp - Rows of the transfer list --------------===//

#include "app/TransferListModel.h"

#include "app/TransferOutcome.h"
#include "app/TransferTexts.h"
#include "foundation/ShownText.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskManager.h"

#include <QElapsedTimer>

#include <algorithm>

namespace korvex::app {
namespace {

constexpr int kTickMs = 1000;
constexpr std::size_t kSpeedSamples = 6;

double SteadySeconds() {
  static QElapsedTimer clock = [] {
    QElapsedTimer c;
    c.start();
    return c;
  }();
  return static_cast<double>(clock.elapsed()) / 1000.0;
}

bool StoppedOnError(const TaskFamily& family) {
  const HRESULT error = family.lastError;
  // The user's pause records E_ABORT; anything else that failed stopped it.
  return family.state == FamilyState::kStopped && Failed(error) && error != E_ABORT;
}

int ShownPercent(const TaskFamily& family) {
  if (family.state == FamilyState::kCompleted) return CompletedPercent(family);
  return PercentDone(family.state, family.Progress());
}

}  // namespace

TransferListModel::TransferListModel(TaskManager& manager, QObject* parent)
    : QAbstractTableModel(parent), manager_(manager) {
  auto families = manager_.Families();
  std::sort(families.begin(), families.end(), [](const auto& a, const auto& b) { return a->Id() < b->Id(); });
  for (auto& family : families) AddRow(std::move(family));
  manager_.AddListener(this);
  connect(&tick_, &QTimer::timeout, this, &TransferListModel::Tick);
  tick_.start(kTickMs);
}

TransferListModel::~TransferListModel() { manager_.RemoveListener(this); }

void TransferListModel::OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind, Task*, TaskEvent, ErrorDetail,
                                          HRESULT) {
  {
    std::lock_guard lock(pendingMutex_);
    pending_.insert(family.Id());
  }
  // One posted refresh covers every event until it runs: progress arrives
  // with every block and must not flood the GUI thread's queue. A refresh
  // posted to a model that is destroyed meanwhile is dropped by Qt.
  if (!refreshPosted_.exchange(true)) {
    QMetaObject::invokeMethod(this, &TransferListModel::ApplyPending, Qt::QueuedConnection);
  }
}

void TransferListModel::ApplyPending() {
  refreshPosted_ = false;
  std::set<std::uint32_t> ids;
  {
    std::lock_guard lock(pendingMutex_);
    ids.swap(pending_);
  }
  for (const std::uint32_t id : ids) {
    const int row = RowOf(id);
    auto family = manager_.GetFamily(id);
    if (!family && row >= 0) {
      beginRemoveRows({}, row, row);
      rows_.erase(rows_.begin() + row);
      endRemoveRows();
    } else if (family && row < 0) {
      AddRow(std::move(family));
    } else if (family) {
      UpdateRow(row);
    }
  }
}

void TransferListModel::AddRow(std::shared_ptr<TaskFamily> family) {
  const int row = static_cast<int>(rows_.size());
  beginInsertRows({}, row, row);
  Row added;
  added.lastState = family->state;
  added.family = std::move(family);
  rows_.push_back(std::move(added));
  endInsertRows();
  // A name conflict met before the row was shown (or left from the last
  // run) waits for the user all the same: it is asked about now.
  const TaskFamily& shown = *rows_.back().family;
  if (shown.state == FamilyState::kStopped && shown.lastError == HR_ALREADY_EXISTS)
    emit familyFinished(shown.Id(), false, HR_ALREADY_EXISTS);
}

void TransferListModel::UpdateRow(int row) {
  Row& r = rows_[static_cast<std::size_t>(row)];
  const FamilyState state = r.family->state;
  if (state != r.lastState) {
    r.lastState = state;
    // The first sample at the start of a run lets the next tick show a speed.
    r.samples.clear();
    if (state == FamilyState::kRunning) r.samples.emplace_back(SteadySeconds(), r.family->Progress().doneBytes);
    if (state == FamilyState::kCompleted) emit familyFinished(r.family->Id(), true, S_OK);
    else if (StoppedOnError(*r.family)) emit familyFinished(r.family->Id(), false, r.family->lastError);
  }
  emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void TransferListModel::Tick() {
  const double now = SteadySeconds();
  for (Row& r : rows_) {
    if (r.family->state != FamilyState::kRunning) {
      r.samples.clear();
      r.speed = 0;
      continue;
    }
    r.samples.emplace_back(now, r.family->Progress().doneBytes);
    if (r.samples.size() > kSpeedSamples) r.samples.pop_front();
    const auto& [t0, b0] = r.samples.front();
    const auto& [t1, b1] = r.samples.back();
    r.speed = t1 > t0 && b1 >= b0 ? static_cast<double>(b1 - b0) / (t1 - t0) : 0;
  }
  if (!rows_.empty()) emit dataChanged(index(0, kProgress), index(rowCount() - 1, kStatus));
}

int TransferListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TransferListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

std::shared_ptr<TaskFamily> TransferListModel::FamilyAt(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return rows_[static_cast<std::size_t>(row)].family;
}

int TransferListModel::RowOf(std::uint32_t familyId) const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].family->Id() == familyId) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::uint32_t> TransferListModel::FamilyIds() const {
  std::vector<std::uint32_t> ids;
  for (const Row& r : rows_) ids.push_back(r.family->Id());
  return ids;
}

QString TransferListModel::StateText(const TaskFamily& family) {
  switch (family.state.load()) {
    case FamilyState::kRunning:
      if (family.retryCount == 0) return tr("Transfering");
      // Retrying for ever without saying why would leave the user guessing.
      if (Failed(family.lastError))
        return tr("Wait to Retry: %1").arg(FailureText(family.lastError, family.LastErrorText()));
      if (const std::string why = family.LastErrorText(); !why.empty())
        return tr("Wait to Retry: %1").arg(QString::fromStdString(ShownText(why)));
      return tr("Wait to Retry");
    case FamilyState::kQueued:
      return tr("Waiting");
    case FamilyState::kCompleted: {
      if (family.canceling != 0) return tr("Cancelled");
      return CompletedText(OutcomeOf(family));
    }
    case FamilyState::kStopped:
      break;
  }
  if (!StoppedOnError(family)) return tr("Pause");
  // Not a fault: the transfer waits for the answer to the conflict dialog.
  if (family.lastError == HR_ALREADY_EXISTS) return tr("Pause: the name exists, waiting for your answer");
  return tr("Pause: %1").arg(FailureText(family.lastError, family.LastErrorText()));
}

QString TransferListModel::LocalEnd(const TaskFamily& family) {
  const bool download = family.Direction() == TransferDirection::kDownload;
  return QString::fromStdString(download ? family.TargetPath() : family.SourcePath());
}

QString TransferListModel::ServiceEnd(const TaskFamily& family) {
  const bool download = family.Direction() == TransferDirection::kDownload;
  return QString::fromStdString(ShownServicePath(download ? family.SourcePath() : family.TargetPath()));
}

QVariant TransferListModel::DisplayText(const Row& row, int column) const {
  const TaskFamily& family = *row.family;
  const FamilyProgress progress = family.Progress();
  const bool running = family.state == FamilyState::kRunning;
  switch (column) {
    case kName: return EntryName(QString::fromStdString(ShownServicePath(family.SourcePath())));
    case kKind: return family.SourcePath().ends_with('/') ? tr("Directory") : tr("File");
    case kDirection:
      return family.Direction() == TransferDirection::kDownload ? tr("Download") : tr("Upload");
    case kSize: return progress.totalBytes ? FormatBytes(*progress.totalBytes) : QString();
    case kProgress: return QStringLiteral("%1%").arg(ShownPercent(family));
    case kSpeed:
      // No figure until two samples exist, rather than a misleading "0 B/s".
      if (!running || row.samples.size() < 2) return {};
      return FormatBytes(static_cast<std::uint64_t>(row.speed)) + "/s";
    case kRemain: {
      if (!running || row.speed <= 0 || !progress.totalBytes || *progress.totalBytes < progress.doneBytes) return {};
      return FormatDuration(static_cast<double>(*progress.totalBytes - progress.doneBytes) / row.speed);
    }
    case kElapsed: return FormatDuration(static_cast<double>(progress.elapsedTotal) / 1e7);
    case kStatus: return StateText(family);
    case kLocalPath: return LocalEnd(family);
    case kNetUri: return ServiceEnd(family);
    default: return {};
  }
}

QVariant TransferListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == kPercentRole) return ShownPercent(*row.family);
  if (role == Qt::DisplayRole) return DisplayText(row, index.column());
  // Long texts are cut to the column; the tip shows them whole.
  if (role == Qt::ToolTipRole && (index.column() == kStatus || index.column() == kLocalPath ||
                                  index.column() == kNetUri || index.column() == kName))
    return DisplayText(row, index.column() == kName ? kNetUri : index.column());
  if (role == Qt::TextAlignmentRole && (index.column() == kSize || index.column() == kSpeed))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TransferListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kName: return tr("Name");
    case kKind: return tr("Type");
    case kDirection: return tr("Direction");
    case kSize: return tr("Size");
    case kProgress: return tr("Progress");
    case kSpeed: return tr("Speed");
    case kRemain: return tr("Remain");
    case kElapsed: return tr("Elapsed");
    case kStatus: return tr("Status");
    case kLocalPath: return tr("Local Path");
    case kNetUri: return tr("Net URI");
    default: return {};
  }
}

}  // namespace korvex::app
