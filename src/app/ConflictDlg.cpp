//===- app/ConflictDlg.cpp - Asking about a name that is taken ------------===//

#include "app/ConflictDlg.h"

#include "app/TransferTexts.h"
#include "foundation/LogMgr.h"
#include "store/WaitPump.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskManager.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace korvex::app {

namespace {

// The target folder of the file `source` of a family: inside a folder
// transfer, the sub-folder the file belongs in.
std::string TargetFolderOf(const TaskFamily& family, const std::string& source) {
  std::string top = family.TargetPath();
  if (!top.empty() && top.back() != '/') top += '/';
  std::string from = family.SourcePath();
  while (!from.empty() && from.back() == '/') from.pop_back();
  const std::string above = from.substr(0, from.rfind('/') + 1);
  if (above.empty() || source.compare(0, above.size(), above) != 0) return top;
  const std::string relative = source.substr(above.size());
  return top + relative.substr(0, relative.rfind('/') + 1);
}

}  // namespace

CConflictDlg::CConflictDlg(const QString& name, const QString& folder, bool upload, QWidget* parent)
    : QDialog(parent) {
  setObjectName("conflictDialog");
  setWindowTitle(tr("Name Conflict"));
  auto* text = new QLabel(this);
  text->setObjectName("conflictText");
  text->setWordWrap(true);
  text->setText((upload ? tr("The cloud folder \"%2\" already holds a file named \"%1\".")
                        : tr("The local folder \"%2\" already holds a file named \"%1\"."))
                    .arg(name, folder));
  auto* question = new QLabel(tr("What should be done with the file being transferred?"), this);
  forAll_ = new QCheckBox(tr("Do this for &all conflicts"), this);
  forAll_->setObjectName("forAllConflicts");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  const auto add = [&](const QString& label, const char* objectName, ConflictChoice choice) {
    auto* button = new QPushButton(label, this);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, choice] {
      choice_ = choice;
      accept();
    });
    buttons->addWidget(button);
    return button;
  };
  add(tr("&Replace"), "replace", ConflictChoice::kReplace);
  // Keeping both loses nothing: it is what Enter does.
  QPushButton* keepBoth = add(tr("&Keep Both"), "keepBoth", ConflictChoice::kKeepBoth);
  add(tr("&Skip"), "skip", ConflictChoice::kSkip);
  keepBoth->setDefault(true);
  keepBoth->setToolTip(tr("The file is stored as \"%1\"").arg(QString::fromStdString(NumberedName(name.toStdString(), 2))));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(question);
  layout->addWidget(forAll_);
  layout->addLayout(buttons);
  setMinimumWidth(460);
}

bool CConflictDlg::ForAll() const { return forAll_->isChecked(); }

CConflictAsker::CConflictAsker(TaskManager& manager, QWidget* parent)
    : QObject(parent), manager_(manager), parent_(parent) {}

void CConflictAsker::Ask(std::uint32_t familyId) {
  if (std::find(waiting_.begin(), waiting_.end(), familyId) == waiting_.end()) waiting_.push_back(familyId);
  // Not from inside the list's signal: the dialog runs an event loop.
  if (!asking_) QTimer::singleShot(0, this, &CConflictAsker::AskNext);
}

bool CConflictAsker::Answer(TaskManager& manager, std::uint32_t familyId, ConflictChoice choice, bool forAll) {
  const auto family = manager.GetFamily(familyId);
  if (!family || family->state != FamilyState::kStopped || family->lastError != HR_ALREADY_EXISTS) return false;
  // The file that met the name went to the back of the queue when the
  // family stopped; it goes first now, so that an answer for this file only
  // is used by this file and not by the next one in the folder.
  if (auto conflicting = family->TakeLast()) family->PushFront(std::move(conflicting));
  family->conflictAnswer = ConflictAnswerFor(choice, forAll);
  LogMgr::Get().Info("Conflict", "Family %u: conflict answer %u", familyId, family->conflictAnswer.load());
  return manager.ResumeFamily(familyId);
}

void CConflictAsker::AskNext() {
  if (asking_) return;
  // Never from inside a store call's wait: that call could not end before
  // the user answers.
  if (PumpingWaitDepth() > 0) {
    QTimer::singleShot(200, this, &CConflictAsker::AskNext);
    return;
  }
  while (!waiting_.empty()) {
    const std::uint32_t id = waiting_.front();
    waiting_.pop_front();
    const auto family = manager_.GetFamily(id);
    // Settled meanwhile (started, skipped or deleted from the list).
    if (!family || family->state != FamilyState::kStopped || family->lastError != HR_ALREADY_EXISTS) continue;
    const std::string stoppedAt = StopReason(*family).first;
    const bool upload = family->Direction() != TransferDirection::kDownload;
    const QString file = EntryName(QString::fromStdString(stoppedAt.empty() ? family->SourcePath() : stoppedAt));
    const QString folder = QString::fromStdString(TargetFolderOf(*family, stoppedAt));
    asking_ = true;
    CConflictDlg dialog(file, folder, upload, parent_);
    dialog.exec();
    asking_ = false;
    if (const auto choice = dialog.Choice()) (void)Answer(manager_, id, *choice, dialog.ForAll());
  }
}

}  // namespace korvex::app
