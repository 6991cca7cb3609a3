//===- app/LoginDlg.h - The login dialog ------------------------*- C++ -*-===//
///
/// Collects an account login (name, password, enterprise domain) or an
/// upload access code, checks it the way every front end does, and sends
/// the login on a worker thread so that the dialog keeps painting while the
/// service answers. A refused login or input is explained inside the dialog
/// and the user can correct it at once. Saved accounts fill the name list;
/// choosing one fills its domain and, when it was saved, its password.
///
///   [input] --OK, input accepted--> [sending] --logged in--> accept()
///      ^                                |
///      +------ failure text shown ------+
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "net/CredentialStore.h"
#include "net/LoginForm.h"
#include "session/SessionFile.h"

#include <memory>

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QStackedWidget;

namespace korvex::app {

class CLoginDlg : public QDialog {
  Q_OBJECT
 public:
  /// `relogin` is set for every login after the first in one process: the
  /// saved automatic login then waits for the user instead of firing.
  CLoginDlg(const DeploymentValues& deployment, bool relogin, QWidget* parent = nullptr);

  /// The session of the login that closed the dialog with Accepted.
  [[nodiscard]] const session::Session& GetSession() const noexcept { return session_; }
  [[nodiscard]] bool IsSending() const noexcept { return sending_; }

 private:
  void BuildLayout();
  void LoadSavedAccounts(bool relogin);
  void FillSavedAccount(const QString& loginName);
  /// Forgets the saved account named in the name box, after asking.
  void DeleteSavedAccount();
  void ShowMode();
  void StartLogin();
  void FinishLogin(HRESULT status, const session::Session& session, const std::string& failure);
  void SetSending(bool sending);
  void ShowProblem(const QString& text, QWidget* focus);

  DeploymentValues deployment_;
  session::Session session_;
  std::unique_ptr<CredentialStore> credentials_;
  LoginInput sent_;
  bool sending_ = false;

  QRadioButton* accountMode_ = nullptr;
  QRadioButton* codeMode_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QComboBox* name_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* domain_ = nullptr;
  QLineEdit* code_ = nullptr;
  QCheckBox* rememberAccount_ = nullptr;
  QCheckBox* rememberPassword_ = nullptr;
  QCheckBox* automaticLogin_ = nullptr;
  QLabel* problem_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace korvex::app
