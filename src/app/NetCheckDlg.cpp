//===- app/NetCheckDlg.cpp - The network check dialog ---------------------===//

#include "app/NetCheckDlg.h"

#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "foundation/Deployment.h"
#include "update/UpdateTexts.h"

namespace korvex::app {

namespace {

constexpr int kAnimationMs = 400;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Read when the dialog opens, so that the check uses the values in effect.
NetworkCheckOptions CurrentOptions() {
  NetworkCheckOptions options;
  DeploymentValues deployment;
  if (Succeeded(LoadDeployment({}, deployment))) options.webUrl = deployment.webUrl;
  return options;
}

}  // namespace

CNetCheckDlg::CNetCheckDlg(QWidget* parent)
    : QDialog(parent),
      text_(new QPlainTextEdit(this)),
      button_(new QPushButton(Q(Text(kTxtCancel)), this)),
      animation_(new QTimer(this)),
      check_(CurrentOptions()) {
  setWindowTitle(tr("Network Check"));
  text_->setReadOnly(true);
  text_->setPlainText(Q(Text(kTxtCheckingNetwork)));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(button_, 0, Qt::AlignRight);
  resize(560, 320);
  connect(button_, &QPushButton::clicked, this, &CNetCheckDlg::OnButton);
  connect(animation_, &QTimer::timeout, this, &CNetCheckDlg::Animate);
  animation_->start(kAnimationMs);
  running_ = check_.StartCheck([this](const NetworkCheckResult& result) {
    // The dialog outlives the check's thread (see ~CNetCheckDlg), and a
    // queued call to a destroyed object is dropped with it.
    QMetaObject::invokeMethod(this, [this, result] { OnCheckDone(result); }, Qt::QueuedConnection);
  });
}

CNetCheckDlg::~CNetCheckDlg() = default;

void CNetCheckDlg::OnButton() {
  if (!running_) {
    accept();
    return;
  }
  check_.CancelCheck();
  button_->setEnabled(false);
}

void CNetCheckDlg::Animate() {
  dots_ = (dots_ + 1) % 4;
  text_->setPlainText(Q(Text(kTxtCheckingNetwork)) + QString(dots_, QChar('.')));
}

void CNetCheckDlg::OnCheckDone(const NetworkCheckResult& result) {
  animation_->stop();
  QString text = Q(result.message);
  if (!result.report.empty()) text += "\n\n" + Q(result.report);
  if (!result.moduleUpdate.empty()) text += "\n" + Q(result.moduleUpdate);
  text_->setPlainText(text);
  button_->setText(Q(Text(kTxtOk)));
  button_->setEnabled(true);
  running_ = false;
}

void AddNetworkCheckMenu(QMenuBar& menuBar, QWidget* parent) {
  QMenu* tools = menuBar.addMenu(QObject::tr("&Tools"));
  tools->addAction(QObject::tr("&Network Check..."), parent, [parent] {
    CNetCheckDlg dialog(parent);
    dialog.exec();
  });
}

}  // namespace korvex::app
