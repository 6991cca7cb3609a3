//===- app/Notice.cpp - Messages that close by themselves -----------------===//

#include "app/Notice.h"

#include <QMessageBox>
#include <QTimer>

namespace korvex::app {

QMessageBox* ShowNotice(QWidget* parent, const QString& title, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setObjectName("notice");
  box->setModal(false);
  QTimer::singleShot(kNoticeMilliseconds, box, &QMessageBox::close);
  box->show();
  return box;
}

}  // namespace korvex::app
