//===- app/OptionDlg.h - The "Options" dialog -------------------*- C++ -*-===//
///
/// Encrypting uploads with a default password, starting at log-on, the tray
/// icon and the language. Every value lives where the rest of the client
/// reads it: the password under the login name's own key, the tray flag in
/// "common", the language at the top, and start at log-on as the desktop's
/// autostart entry (the "Run" value). OK writes only what changed; a choice
/// that cannot be saved keeps the dialog open with the reason.
///
/// With the session's backups given, the dialog also offers their daily
/// time and folder pairs (see CBackupOptions).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Language.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace korvex::app {

class CBackupOptions;
class SessionBackup;

class COptionDlg : public QDialog {
  Q_OBJECT
 public:
  /// `loginName` names the key of the default password; `programPath` is
  /// what the autostart entry starts.
  COptionDlg(std::string loginName, std::string programPath, QWidget* parent = nullptr,
             SessionBackup* backup = nullptr);

  /// Saves the choices; false (with the reason shown) when one was refused
  /// or could not be written.
  [[nodiscard]] bool Save();
  void accept() override;

  /// True when Save() changed the tray flag, for the window to follow.
  [[nodiscard]] bool TrayIconChanged() const noexcept { return trayChanged_; }

 private:
  void Load();
  [[nodiscard]] std::string PasswordKey() const;
  void Refuse(const QString& text);

  std::string loginName_;
  std::string programPath_;
  QCheckBox* encrypt_;
  QLineEdit* password_;
  QCheckBox* autoRun_;
  QCheckBox* trayIcon_;
  QRadioButton* chinese_;
  QRadioButton* english_;
  CBackupOptions* backup_ = nullptr;

  bool autoRunWas_ = false;
  bool trayIconWas_ = true;
  LanguageId languageWas_ = kLanguageEnglish;
  bool trayChanged_ = false;
};

}  // namespace korvex::app
