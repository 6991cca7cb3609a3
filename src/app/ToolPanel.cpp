//===- app/ToolPanel.cpp - The "Tool" tab beside the transfer list --------===//

#include "app/ToolPanel.h"

#include "app/NetCheckDlg.h"
#include "app/TransferTexts.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/WindowRequests.h"
#include "store/AwaitedResult.h"
#include "store/DataStore.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace korvex::app {

CToolPanel::CToolPanel(DataStore& store, QWidget* parent) : QWidget(parent), store_(store) {
  setObjectName("toolPanel");
  spaceText_ = new QLabel(tr("Not known yet"), this);
  spaceText_->setObjectName("spaceText");
  spaceBar_ = new QProgressBar(this);
  spaceBar_->setRange(0, 1000);
  spaceBar_->setTextVisible(false);
  problem_ = new QLabel(this);
  problem_->setObjectName("spaceProblem");
  problem_->setStyleSheet("color: #b00020");
  auto* refresh = new QPushButton(tr("Refresh"), this);
  connect(refresh, &QPushButton::clicked, this, [this] { (void)RefreshSpace(); });
  auto* check = new QPushButton(tr("Network Check..."), this);
  connect(check, &QPushButton::clicked, this, [this] {
    auto* dialog = new CNetCheckDlg(window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
  });

  auto* spaceRow = new QHBoxLayout;
  spaceRow->addWidget(spaceBar_, 1);
  spaceRow->addWidget(spaceText_);
  spaceRow->addWidget(refresh);
  auto* form = new QFormLayout;
  form->addRow(tr("Space:"), spaceRow);
  form->addRow(QString(), problem_);
  auto* tools = new QHBoxLayout;
  tools->addWidget(check);
  tools->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(tools);
  layout->addStretch();
}

HRESULT CToolPanel::RefreshSpace() {
  // A click while the answer is awaited would wait inside the first wait.
  if (asking_) return S_FALSE;
  auto* service = dynamic_cast<KorvexDataStoreRemote*>(store_.Remote());
  if (!service) return E_NOTIMPL;
  asking_ = true;
  AsyncResult* result = nullptr;
  HRESULT hr = service->GetSpace(&result);
  std::string words;
  if (Succeeded(hr) && result) {
    // Cancel in the wait window gives the request up on the wire too.
    AwaitedResult awaited(result, true, OutcomeRule::kPayloadStatus, service);
    hr = awaited.Status();
    words = DataStore::LastErrorMessage();
    if (auto space = awaited.Take<SpacePayload>(); Succeeded(hr) && space) {
      used_ = boost::get<1>(*space);
      total_ = boost::get<2>(*space);
    }
  }
  asking_ = false;
  // Given up by the user: the figures shown stay, and nothing failed.
  if (hr == E_ABORT) return hr;
  if (Failed(hr)) {
    problem_->setText(tr("The space could not be read: %1")
                          .arg(words.empty() ? HexStatus(hr) : QString::fromStdString(words)));
    return hr;
  }
  problem_->clear();
  spaceText_->setText(tr("%1 of %2 used").arg(FormatBytes(used_), FormatBytes(total_)));
  spaceBar_->setValue(total_ == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(used_ * 1000 / total_, 1000)));
  return hr;
}

}  // namespace korvex::app
