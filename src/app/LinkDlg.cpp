//===- app/LinkDlg.cpp - A file's download link ----------------------------===//

#include "app/LinkDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvex::app {

CLinkDlg::CLinkDlg(DataStore& store, const ItemInfo& file, const LinkDetail& detail, QWidget* parent)
    : QDialog(parent), store_(store), file_(file), text_(new QLabel(this)), status_(new QLabel(this)) {
  setWindowTitle(tr("Manage Link - %1").arg(QString::fromStdString(file.name)));
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons->addButton(tr("Copy Link"), QDialogButtonBox::ActionRole), &QPushButton::clicked, this,
          [this, url = detail.url] { QApplication::clipboard()->setText(QString::fromStdString(url)); });
  connect(buttons->addButton(tr("Change Validity..."), QDialogButtonBox::ActionRole), &QPushButton::clicked, this,
          &CLinkDlg::ChangeValidity);
  connect(buttons->addButton(tr("Stop Link"), QDialogButtonBox::DestructiveRole), &QPushButton::clicked, this,
          &CLinkDlg::StopLink);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  Show(detail);
}

void CLinkDlg::Show(const LinkDetail& detail) {
  const QString daysLeft =
      detail.overtime < 0 ? tr("no expiry") : tr("%n day(s)", nullptr, static_cast<int>(detail.overtime));
  // The service says the validity as a bare number of days.
  bool number = false;
  const int validDays = QString::fromStdString(detail.dist).toInt(&number);
  const QString validity = number ? tr("%n day(s)", nullptr, validDays) : QString::fromStdString(detail.dist);
  text_->setText(tr("Link:\t%1\nValidity:\t%2\nDownloads:\t%3\nDays left:\t%4")
                     .arg(QString::fromStdString(detail.url), validity)
                     .arg(detail.used)
                     .arg(daysLeft));
}

void CLinkDlg::ChangeValidity() {
  bool ok = false;
  const int days = QInputDialog::getInt(this, tr("Change Validity"), tr("Valid for days:"), 7, 1, 3650, 1, &ok);
  if (!ok) return;
  HRESULT hr = store_.ChangeItemCodes(file_, static_cast<std::uint32_t>(days), {});
  LinkDetail detail;
  if (Succeeded(hr)) hr = store_.GetClientLinkDetail(file_, detail);
  if (Succeeded(hr)) Show(detail);
  status_->setText(Succeeded(hr) ? QString() : tr("The service refused the change (error 0x%1).")
                                                   .arg(static_cast<quint32>(hr), 8, 16, QChar('0')));
}

void CLinkDlg::StopLink() {
  if (QMessageBox::question(this, tr("Stop Link"), tr("Nobody will be able to download the file through this link. Stop it?")) !=
      QMessageBox::Yes)
    return;
  const HRESULT hr = store_.RemoveItemCodes(file_);
  if (Succeeded(hr)) {
    accept();
    return;
  }
  status_->setText(tr("The service refused to stop the link (error 0x%1).").arg(static_cast<quint32>(hr), 8, 16, QChar('0')));
}

}  // namespace korvex::app
