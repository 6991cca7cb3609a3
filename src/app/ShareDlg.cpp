//===- app/ShareDlg.cpp - Sharing one cloud folder with other users -------===//

#include "app/ShareDlg.h"

#include "foundation/StringTable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvex::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The listings are paged; a page this long holds any team, and the number of
// pages read is bounded so that a service that keeps counting cannot hold the window.
constexpr std::uint32_t kPageSize = 200;
constexpr std::uint32_t kMostPages = 50;

enum ShareColumn { kUser, kRights, kSince, kShareColumns };

}  // namespace

CShareDlg::CShareDlg(DataStore& store, const ContainerInfo& folder, QWidget* parent)
    : QDialog(parent), store_(store), folder_(folder) {
  setWindowTitle(tr("Share Folder - %1").arg(Q(folder.name)));
  auto* pick = new QGroupBox(tr("Share with"), this);
  contactList_ = new QListWidget(pick);
  contactList_->setObjectName("contacts");
  contactList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  typed_ = new QLineEdit(pick);
  typed_->setObjectName("typedUser");
  typed_->setPlaceholderText(tr("Other users, separated by a comma"));
  // The hint is the only label the field has: shown whole, not cut.
  typed_->setMinimumWidth(typed_->fontMetrics().horizontalAdvance(typed_->placeholderText()) + 24);
  rights_ = RightsBox(kShareDownload, pick);
  rights_->setObjectName("rights");
  auto* share = new QPushButton(tr("&Share"), pick);
  share->setObjectName("share");
  auto* pickForm = new QFormLayout;
  pickForm->addRow(tr("Or type:"), typed_);
  pickForm->addRow(tr("Rights:"), rights_);
  auto* pickLayout = new QVBoxLayout(pick);
  pickLayout->addWidget(new QLabel(tr("Contacts:"), pick));
  pickLayout->addWidget(contactList_, 1);
  pickLayout->addLayout(pickForm);
  pickLayout->addWidget(share, 0, Qt::AlignRight);

  auto* current = new QGroupBox(tr("Shared with"), this);
  shareTable_ = new QTableWidget(0, kShareColumns, current);
  shareTable_->setObjectName("shares");
  shareTable_->setHorizontalHeaderLabels({tr("User"), tr("Rights"), tr("Since")});
  shareTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
  shareTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  shareTable_->verticalHeader()->hide();
  shareTable_->setWordWrap(false);
  shareTable_->horizontalHeader()->setSectionResizeMode(kUser, QHeaderView::Stretch);
  auto* change = new QPushButton(tr("&Change Rights"), current);
  change->setObjectName("changeRights");
  auto* stop = new QPushButton(tr("S&top Sharing"), current);
  stop->setObjectName("stopSharing");
  auto* shareButtons = new QHBoxLayout;
  shareButtons->addStretch();
  shareButtons->addWidget(change);
  shareButtons->addWidget(stop);
  auto* currentLayout = new QVBoxLayout(current);
  currentLayout->addWidget(shareTable_, 1);
  currentLayout->addLayout(shareButtons);

  problem_ = new QLabel(this);
  problem_->setObjectName("problem");
  problem_->setWordWrap(true);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  auto* panes = new QHBoxLayout;
  panes->addWidget(pick, 2);
  panes->addWidget(current, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(panes, 1);
  layout->addWidget(problem_);
  layout->addWidget(close);
  resize(760, 420);

  connect(share, &QPushButton::clicked, this, [this] { (void)ShareWithChosen(); });
  connect(change, &QPushButton::clicked, this, [this] { (void)ChangeSelected(); });
  connect(stop, &QPushButton::clicked, this, [this] { (void)StopSelected(); });
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QComboBox* CShareDlg::RightsBox(std::uint32_t privilege, QWidget* parent) const {
  auto* box = new QComboBox(parent);
  for (const std::uint32_t mask : {kShareAdministrator, kShareUploadDownload, kShareUpload, kShareDownload})
    box->addItem(Q(std::string(UiString(PrivilegeLabelId(mask)))), mask);
  box->setCurrentIndex(box->findData(privilege) >= 0 ? box->findData(privilege)
                                                    : box->findText(Q(std::string(UiString(PrivilegeLabelId(privilege))))));
  return box;
}

HRESULT CShareDlg::Report(HRESULT hr, const QString& what) {
  if (Succeeded(hr)) {
    problem_->clear();
    return hr;
  }
  if (hr == E_ABORT) {  // the user gave the wait up
    problem_->setText(tr("%1 cancelled.").arg(what));
    return hr;
  }
  const std::string why = DataStore::LastErrorMessage();
  problem_->setText(why.empty() ? tr("%1 failed (error 0x%2).").arg(what).arg(static_cast<quint32>(hr), 8, 16, QChar('0'))
                                : tr("%1 failed: %2").arg(what, Q(why)));
  return hr;
}

ContainerInfo CShareDlg::WithRights(std::uint32_t privilege) const {
  ContainerInfo folder = folder_;
  folder.privilege = privilege;
  return folder;
}

HRESULT CShareDlg::Reload() {
  contacts_.clear();
  contactList_->clear();
  HRESULT hr = S_OK;
  for (std::uint32_t page = 1; page <= kMostPages; ++page) {
    std::uint64_t pages = 1;
    std::vector<BuddyInfo> some;
    if (Failed(hr = store_.ListBuddies(page, kPageSize, pages, some))) break;
    contacts_.insert(contacts_.end(), some.begin(), some.end());
    if (page >= pages || some.empty()) break;
  }
  for (const BuddyInfo& contact : contacts_) {
    const QString shown = contact.email.empty() ? Q(contact.name) : tr("%1 <%2>").arg(Q(contact.name), Q(contact.email));
    auto* row = new QListWidgetItem(shown, contactList_);
    row->setData(Qt::UserRole, Q(contact.name));
  }
  if (Failed(Report(hr, tr("Reading the contacts")))) return hr;
  return ReloadShares();
}

HRESULT CShareDlg::ReloadShares() {
  shares_.clear();
  HRESULT hr = S_OK;
  for (std::uint32_t page = 1; page <= kMostPages; ++page) {
    std::uint64_t pages = 1;
    std::vector<BuddyInfoEx> some;
    if (Failed(hr = store_.ListContainerBuddies(folder_, page, kPageSize, pages, some))) break;
    shares_.insert(shares_.end(), some.begin(), some.end());
    if (page >= pages || some.empty()) break;
  }
  ShowShares();
  return Report(hr, tr("Reading the shares"));
}

void CShareDlg::ShowShares() {
  shareTable_->setRowCount(static_cast<int>(shares_.size()));
  for (int row = 0; row < static_cast<int>(shares_.size()); ++row) {
    const BuddyInfoEx& share = shares_[static_cast<std::size_t>(row)];
    shareTable_->setItem(row, kUser, new QTableWidgetItem(Q(share.buddy.name)));
    shareTable_->setCellWidget(row, kRights, RightsBox(share.buddy.privilege ? share.buddy.privilege : share.privilege,
                                                       shareTable_));
    shareTable_->setItem(row, kSince, new QTableWidgetItem(Q(share.buddy.joinTime)));
  }
  shareTable_->resizeColumnToContents(kRights);
  shareTable_->resizeColumnToContents(kSince);
}

HRESULT CShareDlg::ShareWithChosen() {
  QStringList users;
  for (const QListWidgetItem* item : contactList_->selectedItems()) users << item->data(Qt::UserRole).toString();
  for (const QString& typed : typed_->text().split(',', Qt::SkipEmptyParts))
    if (!typed.trimmed().isEmpty() && !users.contains(typed.trimmed())) users << typed.trimmed();
  if (users.isEmpty()) {
    problem_->setText(tr("Pick a contact or type a user name first."));
    return S_FALSE;
  }
  const ContainerInfo folder = WithRights(rights_->currentData().toUInt());
  HRESULT hr = S_OK;
  for (const QString& user : users) {
    if (Failed(hr = store_.ShareContainerWith(folder, user.toStdString()))) {
      Report(hr, tr("Sharing with %1").arg(user));
      break;
    }
    changed_ = true;
  }
  if (Succeeded(hr)) {
    typed_->clear();
    contactList_->clearSelection();
  }
  const HRESULT listed = ReloadShares();
  if (Failed(hr)) Report(hr, tr("Sharing"));
  return Failed(hr) ? hr : listed;
}

HRESULT CShareDlg::ChangeSelected() {
  const int row = shareTable_->currentRow();
  if (row < 0 || row >= static_cast<int>(shares_.size())) {
    problem_->setText(tr("Select a share first."));
    return S_FALSE;
  }
  const auto* box = qobject_cast<QComboBox*>(shareTable_->cellWidget(row, kRights));
  const HRESULT hr =
      store_.EditContainerShare(WithRights(box->currentData().toUInt()), shares_[static_cast<std::size_t>(row)].buddy.name);
  if (Failed(Report(hr, tr("Changing the rights")))) return hr;
  changed_ = true;
  return ReloadShares();
}

HRESULT CShareDlg::StopSelected() {
  std::vector<std::string> users;
  for (const QModelIndex& index : shareTable_->selectionModel()->selectedRows())
    users.push_back(shares_[static_cast<std::size_t>(index.row())].buddy.name);
  if (users.empty()) {
    problem_->setText(tr("Select a share first."));
    return S_FALSE;
  }
  HRESULT hr = S_OK;
  for (const std::string& user : users) {
    if (Failed(hr = store_.UnshareContainer(folder_, user))) break;
    changed_ = true;
  }
  const HRESULT listed = ReloadShares();
  if (Failed(hr)) return Report(hr, tr("Stopping the share"));
  return listed;
}

}  // namespace korvex::app
