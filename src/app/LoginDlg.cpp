//===- app/LoginDlg.cpp - The login dialog ---------------------------------===//

#include "app/LoginDlg.h"

#include "foundation/StringTable.h"
#include "net/LoginInputCheck.h"
#include "net/SavedAccounts.h"
#include "session/AccountLogin.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace korvex::app {

namespace {

std::string U(const QLineEdit* edit) { return edit->text().toStdString(); }

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CLoginDlg::CLoginDlg(const DeploymentValues& deployment, bool relogin, QWidget* parent)
    : QDialog(parent), deployment_(deployment), credentials_(CredentialStore::Open()) {
  setWindowTitle(tr("KorvexData SMB - Login"));
  BuildLayout();
  resize(400, 340);
  ShowMode();
  LoadSavedAccounts(relogin);
}

void CLoginDlg::LoadSavedAccounts(bool relogin) {
  if (!credentials_) return;
  const LoginDialogStart start = StartLoginDialog(*credentials_, relogin);
  for (const std::string& name : start.savedNames) name_->addItem(Q(name));
  name_->setCurrentText(Q(start.selectedName));
  password_->setText(Q(start.selected.password));
  domain_->setText(Q(start.selected.domain));
  rememberPassword_->setChecked(start.selected.rememberPassword);
  automaticLogin_->setChecked(start.automaticLoginChecked);
  // Queued, so that the dialog is on screen, showing what it sends, first.
  if (start.loginNow) QTimer::singleShot(0, this, &CLoginDlg::StartLogin);
}

void CLoginDlg::FillSavedAccount(const QString& loginName) {
  SavedAccount account;
  if (!credentials_ || Failed(LoadCredentials(*credentials_, loginName.toStdString(), account))) return;
  password_->setText(Q(account.password));
  domain_->setText(Q(account.domain));
  rememberPassword_->setChecked(account.rememberPassword);
}

void CLoginDlg::DeleteSavedAccount() {
  const QString name = name_->currentText().trimmed();
  const int index = name_->findText(name);
  if (!credentials_ || name.isEmpty() || index < 0) {
    ShowProblem(tr("Choose a saved account to delete."), name_);
    return;
  }
  const auto answer = QMessageBox::question(this, tr("Delete Account"),
                                            tr("Delete the saved account \"%1\" from this computer?").arg(name),
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  if (const HRESULT hr = DeleteCredentials(*credentials_, name.toStdString()); Failed(hr)) {
    ShowProblem(tr("The saved account could not be deleted (error 0x%1).").arg(static_cast<quint32>(hr), 8, 16, QChar('0')),
                name_);
    return;
  }
  name_->removeItem(index);
  name_->setCurrentIndex(-1);
  name_->clearEditText();
  password_->clear();
  domain_->clear();
  rememberPassword_->setChecked(false);
  automaticLogin_->setChecked(false);
  problem_->clear();
}

void CLoginDlg::BuildLayout() {
  accountMode_ = new QRadioButton(tr("Account"), this);
  codeMode_ = new QRadioButton(tr("Access Code"), this);
  accountMode_->setObjectName("accountMode");
  codeMode_->setObjectName("codeMode");
  accountMode_->setChecked(true);
  auto* modes = new QHBoxLayout;
  modes->addWidget(accountMode_);
  modes->addWidget(codeMode_);
  modes->addStretch();

  auto* accountPage = new QWidget(this);
  auto* accountForm = new QFormLayout(accountPage);
  name_ = new QComboBox(accountPage);
  name_->setEditable(true);
  name_->setInsertPolicy(QComboBox::NoInsert);
  name_->lineEdit()->setObjectName("loginName");
  password_ = new QLineEdit(accountPage);
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);
  domain_ = new QLineEdit(accountPage);
  domain_->setObjectName("domain");
  domain_->setPlaceholderText(Q(LoginInputMessage(kIdsLoginDomainHint, deployment_.serviceDomain)));
  auto* forget = new QPushButton(tr("Delete"), accountPage);
  forget->setObjectName("deleteAccount");
  forget->setToolTip(tr("Delete the saved account from this computer"));
  connect(forget, &QPushButton::clicked, this, &CLoginDlg::DeleteSavedAccount);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(name_, 1);
  nameRow->addWidget(forget);
  accountForm->addRow(tr("Login name:"), nameRow);
  accountForm->addRow(tr("Password:"), password_);
  accountForm->addRow(tr("Domain:"), domain_);
  rememberAccount_ = new QCheckBox(tr("Remember account"), accountPage);
  rememberPassword_ = new QCheckBox(tr("Remember password"), accountPage);
  automaticLogin_ = new QCheckBox(tr("Log in automatically"), accountPage);
  rememberPassword_->setObjectName("rememberPassword");
  automaticLogin_->setObjectName("automaticLogin");
  rememberAccount_->setChecked(true);
  accountForm->addRow(rememberAccount_);
  accountForm->addRow(rememberPassword_);
  accountForm->addRow(automaticLogin_);

  auto* codePage = new QWidget(this);
  auto* codeForm = new QFormLayout(codePage);
  code_ = new QLineEdit(codePage);
  code_->setObjectName("accessCode");
  code_->setPlaceholderText(Q(LoginInputMessage(kIdsLoginAccessCodeHint, deployment_.serviceDomain)));
  codeForm->addRow(tr("Access code:"), code_);

  pages_ = new QStackedWidget(this);
  pages_->addWidget(accountPage);
  pages_->addWidget(codePage);

  problem_ = new QLabel(this);
  problem_->setObjectName("problem");
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #b00020");

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->button(QDialogButtonBox::Ok)->setText(tr("Login"));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(modes);
  layout->addWidget(pages_);
  layout->addWidget(problem_);
  layout->addStretch();
  layout->addWidget(buttons_);

  connect(accountMode_, &QRadioButton::toggled, this, &CLoginDlg::ShowMode);
  connect(name_, &QComboBox::textActivated, this, &CLoginDlg::FillSavedAccount);
  connect(buttons_, &QDialogButtonBox::accepted, this, &CLoginDlg::StartLogin);
  connect(buttons_, &QDialogButtonBox::rejected, this, &CLoginDlg::reject);
}

void CLoginDlg::ShowMode() {
  pages_->setCurrentIndex(accountMode_->isChecked() ? 0 : 1);
  // Typing starts in the first field of the mode, not on the mode buttons.
  if (accountMode_->isChecked()) name_->setFocus();
  else code_->setFocus();
  problem_->clear();
}

void CLoginDlg::ShowProblem(const QString& text, QWidget* focus) {
  problem_->setText(text);
  if (focus) focus->setFocus();
}

void CLoginDlg::SetSending(bool sending) {
  sending_ = sending;
  pages_->setEnabled(!sending);
  accountMode_->setEnabled(!sending);
  codeMode_->setEnabled(!sending);
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!sending);
  if (sending) problem_->setText(tr("Logging in..."));
}

void CLoginDlg::StartLogin() {
  if (sending_) return;
  LoginInput input;
  input.mode = accountMode_->isChecked() ? LoginMode::Account : LoginMode::AccessCode;
  input.loginName = U(name_->lineEdit());
  input.password = U(password_);
  input.domain = U(domain_);
  input.accessCode = U(code_);
  if (const unsigned refused = CheckLoginInput(input, deployment_.serviceDomain); refused != 0) {
    QWidget* focus = input.mode == LoginMode::AccessCode       ? code_
                     : refused == kIdsLoginNoHttpsPrefix ||
                               refused == kIdsLoginDomainRequired ? static_cast<QWidget*>(domain_)
                                                                  : name_;
    ShowProblem(Q(LoginInputMessage(refused, deployment_.serviceDomain)), focus);
    return;
  }
  domain_->setText(Q(input.domain));
  sent_ = input;
  SetSending(true);

  // The login blocks its thread until the service answers; the answer comes
  // back as a queued call, and not at all once the dialog is gone.
  QPointer<CLoginDlg> self(this);
  const DeploymentValues deployment = deployment_;
  QThread* worker = QThread::create([self, input, deployment] {
    session::Session session;
    LoginFailure failure;
    const HRESULT status = session::LogInToService(input, deployment, session, failure);
    QMetaObject::invokeMethod(qApp, [self, status, session, message = failure.message] {
      if (self) self->FinishLogin(status, session, message);
    }, Qt::QueuedConnection);
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void CLoginDlg::FinishLogin(HRESULT status, const session::Session& session, const std::string& failure) {
  SetSending(false);
  if (Failed(status)) {
    ShowProblem(Q(failure.empty() ? LoginFailureMessage(status) : failure),
                accountMode_->isChecked() ? static_cast<QWidget*>(password_) : code_);
    return;
  }
  problem_->clear();
  session_ = session;
  if (credentials_ && sent_.mode == LoginMode::Account) {
    const LoginChoices choices{rememberAccount_->isChecked(), rememberPassword_->isChecked(),
                               automaticLogin_->isChecked()};
    // A credential that cannot be stored is logged by the store; the login stands.
    (void)SaveCredentials(*credentials_, sent_, choices);
  }
  sent_.password.clear();
  accept();
}

}  // namespace korvex::app
