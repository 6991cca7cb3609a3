//===- app/AutoProgressDlg.cpp - The wait window of slow start-up work ----===//

#include "app/AutoProgressDlg.h"

#include <thread>

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace korvex::app {

namespace {
constexpr int kInvisibleMs = 1000;
constexpr int kAnimationMs = 500;
}  // namespace

CAutoProgressDlg::CAutoProgressDlg(const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent), text_(text), label_(new QLabel(text, this)), animation_(new QTimer(this)) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  // Nothing can cancel the start-up check, so the button is shown disabled.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setEnabled(false);
  layout->addWidget(buttons);
  animation_->setInterval(kAnimationMs);
  connect(animation_, &QTimer::timeout, this, &CAutoProgressDlg::Animate);
}

void CAutoProgressDlg::Animate() {
  dots_ = (dots_ + 1) % 4;
  label_->setText(text_ + QString(dots_, QChar('.')));
}

HRESULT CAutoProgressDlg::Run(std::function<HRESULT()> work) {
  QEventLoop loop;
  HRESULT result = E_UNEXPECTED;
  QTimer reveal;
  reveal.setSingleShot(true);
  connect(&reveal, &QTimer::timeout, this, [this] {
    show();
    animation_->start();
  });
  reveal.start(kInvisibleMs);
  std::thread worker([&] {
    result = work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  reveal.stop();
  animation_->stop();
  hide();
  return result;
}

}  // namespace korvex::app
