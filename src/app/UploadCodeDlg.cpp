//===- app/UploadCodeDlg.cpp - A folder's upload access codes --------------===//

#include "app/UploadCodeDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvex::app {

CUploadCodeDlg::CUploadCodeDlg(DataStore& store, const ContainerInfo& folder, QWidget* parent)
    : QDialog(parent), store_(store), folder_(folder), table_(new QTableWidget(0, 2, this)), problem_(new QLabel(this)) {
  setWindowTitle(tr("Upload Codes - %1").arg(QString::fromStdString(folder.name)));
  table_->setHorizontalHeaderLabels({tr("Code"), tr("Expires")});
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons->addButton(tr("Create"), QDialogButtonBox::ActionRole), &QPushButton::clicked, this,
          [this] { (void)CreateCode(); });
  connect(buttons->addButton(tr("Delete"), QDialogButtonBox::ActionRole), &QPushButton::clicked, this,
          [this] { (void)DeleteSelected(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Visitors who log in with one of these codes can upload into \"%1\".")
                                   .arg(QString::fromStdString(folder.name)),
                               this));
  layout->addWidget(table_);
  layout->addWidget(problem_);
  layout->addWidget(buttons);
  resize(460, 300);
}

HRESULT CUploadCodeDlg::Report(HRESULT hr, const QString& what) {
  status_ = hr;
  const std::string why = DataStore::LastErrorMessage();
  // E_ABORT: the user gave the wait up, which is no failure.
  problem_->setText(Succeeded(hr)   ? QString()
                    : hr == E_ABORT ? tr("%1 cancelled.").arg(what)
                    : why.empty()   ? tr("%1 failed (error 0x%2).").arg(what).arg(static_cast<quint32>(hr), 8, 16, QChar('0'))
                                    : tr("%1 failed: %2").arg(what, QString::fromStdString(why)));
  return hr;
}

HRESULT CUploadCodeDlg::Reload() {
  std::vector<ContainerCode> codes;
  if (const HRESULT hr = store_.ListAccessCodes(folder_, codes); Failed(hr)) return Report(hr, tr("Listing"));
  codes_ = std::move(codes);
  table_->setRowCount(static_cast<int>(codes_.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const ContainerCode& code = codes_[static_cast<std::size_t>(row)];
    table_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(code.code)));
    table_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(code.expireTime)));
  }
  return Report(S_OK, {});
}

HRESULT CUploadCodeDlg::CreateCode() {
  NewAccessCode made;
  if (const HRESULT hr = store_.CreateAccessCode(folder_, made); Failed(hr)) return Report(hr, tr("Creating a code"));
  return Reload();
}

HRESULT CUploadCodeDlg::DeleteSelected() {
  std::string ids;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    ids += (ids.empty() ? "" : ",") + codes_[static_cast<std::size_t>(index.row())].codeId;
  }
  if (ids.empty()) return S_FALSE;
  if (const HRESULT hr = store_.DeleteAccessCodes(ids); Failed(hr)) return Report(hr, tr("Deleting"));
  return Reload();
}

}  // namespace korvex::app
