//===- app/OptionDlg.cpp - The "Options" dialog ---------------------------===//

#include "app/OptionDlg.h"

#include "app/BackupOptions.h"
#include "app/SessionBackup.h"
#include "app/WindowSettings.h"
#include "foundation/AutoStart.h"
#include "foundation/Registry.h"
#include "foundation/StringTable.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace korvex::app {
namespace {

constexpr std::string_view kDefaultEncryptPassword = "DefaultEncryptPassword";
constexpr std::string_view kLanguageValue = "Language";

}  // namespace

COptionDlg::COptionDlg(std::string loginName, std::string programPath, QWidget* parent, SessionBackup* backup)
    : QDialog(parent), loginName_(std::move(loginName)), programPath_(std::move(programPath)) {
  setObjectName("optionDlg");
  setWindowTitle(tr("Options"));

  auto* encryptBox = new QGroupBox(tr("Encrypt File"), this);
  encrypt_ = new QCheckBox(tr("All file use default password when I upload them"), encryptBox);
  encrypt_->setObjectName("encryptByDefault");
  password_ = new QLineEdit(encryptBox);
  password_->setObjectName("defaultPassword");
  password_->setEchoMode(QLineEdit::Password);
  auto* encryptForm = new QFormLayout(encryptBox);
  encryptForm->addRow(encrypt_);
  encryptForm->addRow(tr("Default Password"), password_);
  connect(encrypt_, &QCheckBox::toggled, password_, &QLineEdit::setEnabled);

  auto* generalBox = new QGroupBox(tr("General"), this);
  autoRun_ = new QCheckBox(tr("Automatically run at start-up"), generalBox);
  autoRun_->setObjectName("autoRun");
  trayIcon_ = new QCheckBox(tr("Display tray icon"), generalBox);
  trayIcon_->setObjectName("trayIcon");
  auto* general = new QVBoxLayout(generalBox);
  general->addWidget(autoRun_);
  general->addWidget(trayIcon_);

  auto* languageBox = new QGroupBox(UiText(kIdsLanguageSettingTitle), this);
  chinese_ = new QRadioButton(UiText(kIdsLanguageChinese), languageBox);
  chinese_->setObjectName("chinese");
  english_ = new QRadioButton(UiText(kIdsLanguageEnglish), languageBox);
  english_->setObjectName("english");
  auto* languages = new QHBoxLayout(languageBox);
  languages->addWidget(chinese_);
  languages->addWidget(english_);
  languages->addStretch();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &COptionDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(encryptBox);
  if (backup) {
    const BackupRunner runner = backup->OtherRunner();
    const QString runnerText =
        runner.pid == 0 ? QString()
                        : tr("Backups of this account are run by %1 (process %2).")
                              .arg(QString::fromStdString(runner.program))
                              .arg(runner.pid);
    backup_ = new CBackupOptions(backup->Sync(), runnerText, this);
    layout->addWidget(backup_);
  }
  layout->addWidget(generalBox);
  layout->addWidget(languageBox);
  layout->addWidget(buttons);
  Load();
}

std::string COptionDlg::PasswordKey() const { return std::string(kProductKey) + "\\" + loginName_; }

void COptionDlg::Load() {
  const std::string password = ReadString(Hive::CurrentUser, PasswordKey(), kDefaultEncryptPassword, "");
  encrypt_->setChecked(!password.empty());
  password_->setText(QString::fromStdString(password));
  password_->setEnabled(!password.empty());

  autoRunWas_ = IsAutoStartEnabled();
  autoRun_->setChecked(autoRunWas_);
  trayIconWas_ = ReadFlag(kDisplayTrayIcon);
  trayIcon_->setChecked(trayIconWas_);

  const LanguageId stored = LanguageFromSetting(ReadString(Hive::CurrentUser, kProductKey, kLanguageValue, ""));
  languageWas_ = stored != kLanguageUnset ? stored : CurrentLanguage();
  (languageWas_ == kLanguageChinese ? chinese_ : english_)->setChecked(true);
}

void COptionDlg::Refuse(const QString& text) { QMessageBox::warning(this, windowTitle(), text); }

bool COptionDlg::Save() {
  trayChanged_ = false;
  const std::string password = password_->text().toStdString();
  if (encrypt_->isChecked() && password.empty()) {
    Refuse(UiText(kIdsSetDefaultPassword));
    password_->setFocus();
    return false;
  }
  if (encrypt_->isChecked()) {
    if (!WriteString(Hive::CurrentUser, PasswordKey(), kDefaultEncryptPassword, password)) {
      Refuse(tr("The settings could not be saved."));
      return false;
    }
  } else {
    // Absent already is fine: there is nothing to forget.
    (void)DeleteValue(Hive::CurrentUser, PasswordKey(), kDefaultEncryptPassword);
  }

  if (autoRun_->isChecked() != autoRunWas_) {
    const bool written = autoRun_->isChecked()
                             ? WriteString(Hive::CurrentUser, kRunKey, kRunValueName, programPath_)
                             : DeleteValue(Hive::CurrentUser, kRunKey, kRunValueName);
    if (!written) {
      Refuse(UiText(kIdsAutoRunFailed));
      return false;
    }
    autoRunWas_ = autoRun_->isChecked();
  }

  if (trayIcon_->isChecked() != trayIconWas_) {
    if (!WriteFlag(kDisplayTrayIcon, trayIcon_->isChecked())) {
      Refuse(tr("The settings could not be saved."));
      return false;
    }
    trayIconWas_ = trayIcon_->isChecked();
    trayChanged_ = true;
  }

  const LanguageId language = chinese_->isChecked() ? kLanguageChinese : kLanguageEnglish;
  if (language != languageWas_) {
    if (!WriteString(Hive::CurrentUser, kProductKey, kLanguageValue, LanguageSettingText(language))) {
      Refuse(tr("The settings could not be saved."));
      return false;
    }
    languageWas_ = language;
    QMessageBox::information(this, UiText(kIdsLanguageSettingTitle), UiText(kIdsLanguageChanged));
  }

  if (QString problem; backup_ && !backup_->Save(problem)) {
    Refuse(problem);
    return false;
  }
  return true;
}

void COptionDlg::accept() {
  if (Save()) QDialog::accept();
}

}  // namespace korvex::app
