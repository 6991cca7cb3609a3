// The desktop client's test fixture: a private home with a korvexd seeded
// with the demo data, the client started against it on Qt's offscreen
// platform, and helpers to wait, answer dialogs and read the service's tree.
#pragma once

#include "app/DataStoreDlgBase.h"
#include "app/LocalDriveDlg.h"
#include "app/LoginDlg.h"
#include "app/MainDlg.h"
#include "app/NetDriveDlg.h"
#include "session/ClientStartup.h"
#include "support/KorvexdProcess.h"
#include "support/ServiceTree.h"
#include "support/TempHome.h"

#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace korvex::testing::app {

using korvex::testing::ScopedEnv;
using Json = nlohmann::json;

// Processes events until `done` holds, for at most `ms` milliseconds.
inline bool WaitFor(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

// Answers the next message box with `button` and keeps its text; gives up
// after two seconds so that a box that never comes cannot hang the test.
class MessageBoxAnswer {
 public:
  explicit MessageBoxAnswer(QMessageBox::StandardButton button) {
    QObject::connect(&timer_, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box) {
        text_ = box->text();
        box->button(button)->click();
      }
      if (box || ++ticks_ > 40) timer_.stop();
    });
    timer_.start(50);
  }
  const QString& Text() const { return text_; }

 private:
  QTimer timer_;
  QString text_;
  int ticks_ = 0;
};

// Hands the next modal dialog to `answer` (which returns true once it has
// answered); gives up after four seconds.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<bool(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if ((modal && answer_(modal)) || ++ticks_ > 80) timer_.stop();
    });
    timer_.start(50);
  }

 private:
  std::function<bool(QWidget*)> answer_;
  QTimer timer_;
  int ticks_ = 0;
};

inline void SaveScreenshot(QWidget& window, const char* name) {
  QDir().mkpath(KORVEX_SCREENSHOT_DIR);
  const QString path = QString(KORVEX_SCREENSHOT_DIR) + "/" + name;
  EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
}

inline QStringList Names(const korvex::app::EntryListModel& model) {
  QStringList names;
  for (int row = 0; row < model.rowCount(); ++row) names << model.index(row, 0).data().toString();
  return names;
}

// Adds a fault to korvexd ("delay=...,path=...,count=...,ttl=...").
inline bool ServiceFault(const std::string& baseUrl, const std::string& fault) {
  httplib::Client client(baseUrl);
  auto answer = client.Post(fault.empty() ? "/admin/faults/clear" : "/admin/faults", fault, "text/plain");
  return answer && answer->status == 200;
}

// The size of a complete file ("/dir/name") of `user`'s tree, -1 when there is none.
inline std::int64_t CompleteFileSize(const std::string& baseUrl, const std::string& user, const std::string& path) {
  httplib::Client client(baseUrl);
  auto answer = client.Get("/admin/tree/" + user);
  if (!answer || answer->status != 200) return -1;
  const Json tree = Json::parse(answer->body, nullptr, false);
  if (tree.is_discarded()) return -1;
  const Json* dir = &tree["tree"];
  std::string rest = path.substr(1);
  for (std::size_t slash; (slash = rest.find('/')) != std::string::npos; rest = rest.substr(slash + 1)) {
    const Json* next = nullptr;
    for (const Json& sub : (*dir)["dirs"])
      if (sub["name"] == rest.substr(0, slash)) next = &sub;
    if (!next) return -1;
    dir = next;
  }
  for (const Json& file : (*dir)["files"])
    if (file["name"] == rest && file.value("complete", false)) return file["size"].get<std::int64_t>();
  return -1;
}

class DesktopClient : public korvex::testing::TempHomeTest {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "korvex_app_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }

  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
    desktop_ = Home() / "desktop";
    korvex::testing::WriteText(desktop_ / "local-notes.txt", "kept on this computer\n");
    env_.push_back(std::make_unique<ScopedEnv>("HOME", desktop_.c_str()));
    std::string error;
    ASSERT_TRUE(korvex::Succeeded(korvex::session::StartClient({}, deployment_, error))) << error;
  }

  // The user's tree as the service holds it: "/dir/" and "/dir/file" paths.
  std::set<std::string> Tree(const std::string& user = "alice") {
    return korvex::testing::ServiceTree(korvexd_.BaseUrl(), user);
  }

  // Types into the dialog and presses its OK button; waits for the answer.
  static void Submit(korvex::app::CLoginDlg& dialog, bool account, const QString& name, const QString& password,
                     const QString& domain, const QString& code = {}) {
    dialog.findChild<QRadioButton*>(account ? "accountMode" : "codeMode")->setChecked(true);
    dialog.findChild<QLineEdit*>("loginName")->setText(name);
    dialog.findChild<QLineEdit*>("password")->setText(password);
    dialog.findChild<QLineEdit*>("domain")->setText(domain);
    dialog.findChild<QLineEdit*>("accessCode")->setText(code);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(WaitFor([&] { return !dialog.IsSending(); }));
  }

  static QString Problem(const korvex::app::CLoginDlg& dialog) { return dialog.findChild<QLabel*>("problem")->text(); }

  // Logs the demo user in through the dialog and shows the main window;
  // null (with the test failed) when either step does not succeed.
  // `account` learns the session's account name.
  std::unique_ptr<korvex::app::CMainDlg> OpenWindow(std::string& account) {
    korvex::app::CLoginDlg dialog(deployment_, false);
    Submit(dialog, true, "alice", "alice-demo-1", "demo");
    if (dialog.result() != QDialog::Accepted) {
      ADD_FAILURE() << Problem(dialog).toStdString();
      return nullptr;
    }
    account = dialog.GetSession().accountName;
    auto window = std::make_unique<korvex::app::CMainDlg>(dialog.GetSession(), deployment_);
    if (!korvex::Succeeded(window->Init())) {
      ADD_FAILURE() << "the main window did not open";
      return nullptr;
    }
    window->show();
    return window;
  }

  korvex::test::KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::filesystem::path desktop_;
  korvex::DeploymentValues deployment_;
};

}  // namespace korvex::testing::app
