//===- app/PreviewDlg.cpp - The preview of a cloud picture or video -------===//

#include "app/PreviewDlg.h"

#include "app/TransferTexts.h"
#include "foundation/LogMgr.h"
#include "foundation/StatusMessages.h"
#include "net/HttpRequestor.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/WindowRequests.h"
#include "store/AwaitedResult.h"
#include "store/DataStore.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMimeDatabase>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace korvex::app {
namespace {

// A picture larger than this is not a preview; the service's previews are
// far smaller, and the cap keeps a wrong address from filling the memory.
constexpr std::uint32_t kMaxPictureBytes = 32u << 20;

QString ReasonOf(HRESULT status, const std::string& serviceWords) {
  if (!serviceWords.empty()) return QString::fromStdString(serviceWords);
  std::string text;
  if (StatusMessages::Get().Lookup(status, text)) return QString::fromStdString(text);
  return HexStatus(status);
}

// The request's completion runs on the requestor's thread: it hands the
// bytes to the dialog's thread and returns.
struct FetchTicket {
  QPointer<CPreviewDlg> dialog;
};

}  // namespace

CPreviewDlg::Kind CPreviewDlg::KindOf(const std::string& name) {
  const QString type =
      QMimeDatabase().mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension).name();
  if (type.startsWith("image/")) return Kind::kPicture;
  if (type.startsWith("video/")) return Kind::kVideo;
  return Kind::kNone;
}

CPreviewDlg::CPreviewDlg(DataStore& store, const ItemInfo& file, QWidget* parent)
    : QDialog(parent), store_(store), file_(file), kind_(KindOf(file.name)) {
  setWindowTitle(tr("Preview - %1").arg(QString::fromStdString(file.name)));
  message_ = new QLabel(tr("Loading the preview..."), this);
  message_->setObjectName("previewMessage");
  message_->setWordWrap(true);
  image_ = new QLabel(this);
  image_->setObjectName("previewImage");
  image_->setAlignment(Qt::AlignCenter);
  image_->setMinimumSize(200, 150);
  play_ = new QPushButton(tr("Play"), this);
  play_->setObjectName("playButton");
  play_->hide();
  connect(play_, &QPushButton::clicked, this, [this] { QDesktopServices::openUrl(QUrl(address_)); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addWidget(image_, 1);
  layout->addWidget(play_, 0, Qt::AlignRight);
  resize(640, 480);
}

// The requestor goes first: its end cancels the fetch and waits for the
// completion, which may still be posting to this dialog.
CPreviewDlg::~CPreviewDlg() { requestor_.reset(); }

HRESULT CPreviewDlg::Start() {
  if (kind_ == Kind::kNone) {
    Fail(E_INVALIDARG, tr("Only pictures and videos can be previewed."));
    return E_INVALIDARG;
  }
  std::string url;
  if (const HRESULT hr = AskAddress(url); Failed(hr)) return hr;
  address_ = QString::fromStdString(url);
  if (kind_ == Kind::kVideo) {
    message_->setText(tr("The video plays in the desktop's player."));
    play_->show();
    finished_ = true;
    emit finished(S_OK);
    return S_OK;
  }
  return Fetch(url);
}

HRESULT CPreviewDlg::AskAddress(std::string& url) {
  auto* service = dynamic_cast<KorvexDataStoreRemote*>(store_.Remote());
  if (!service) {
    Fail(E_NOTIMPL, tr("This folder has no previews."));
    return E_NOTIMPL;
  }
  AsyncResult* result = nullptr;
  HRESULT hr = service->GetPreviewUrl(file_, kind_ == Kind::kVideo, &result);
  std::string words;
  if (Succeeded(hr) && result) {
    // Cancel in the wait window gives the request up on the wire too.
    AwaitedResult awaited(result, true, OutcomeRule::kPayloadStatus, service);
    hr = awaited.Status();
    words = DataStore::LastErrorMessage();
    if (auto payload = awaited.Take<PreviewPayload>(); Succeeded(hr) && payload) url = boost::get<1>(*payload);
  }
  if (hr == E_ABORT) {
    // The user gave up on this preview: the dialog goes, with nothing to say.
    hide();
    finished_ = true;
    emit finished(hr);
    return hr;
  }
  if (Succeeded(hr) && url.empty()) hr = E_FAIL;
  if (Failed(hr)) Fail(hr, tr("The service gave no preview: %1").arg(ReasonOf(hr, words)));
  return hr;
}

HRESULT CPreviewDlg::Fetch(const std::string& url) {
  std::string server;
  std::string path;
  if (!SplitPreviewAddress(url, server, path)) {
    Fail(E_INVALIDARG, tr("The preview address cannot be opened: %1").arg(address_));
    return E_INVALIDARG;
  }
  requestor_ = std::make_unique<HttpRequestor>();
  HRESULT hr = requestor_->Init(server);
  auto* ticket = new FetchTicket{this};
  const HttpCompletion done = [](HRESULT status, const std::string& body, const std::deque<std::string>&,
                                 const HttpHeaderMap&, void* param) {
    std::unique_ptr<FetchTicket> owned(static_cast<FetchTicket*>(param));
    QByteArray bytes(body.data(), static_cast<qsizetype>(body.size()));
    if (!owned->dialog) return;
    QMetaObject::invokeMethod(owned->dialog.data(), [dialog = owned->dialog, status, bytes] {
      if (dialog) dialog->OnFetched(status, bytes);
    }, Qt::QueuedConnection);
  };
  if (Succeeded(hr)) hr = requestor_->SendRequest(path, "GET", {}, nullptr, 0, done, ticket, kMaxPictureBytes);
  if (Failed(hr)) {
    delete ticket;
    Fail(hr, tr("The picture could not be fetched: %1").arg(ReasonOf(hr, {})));
  }
  return hr;
}

void CPreviewDlg::OnFetched(HRESULT status, const QByteArray& body) {
  if (Failed(status)) return Fail(status, tr("The picture could not be fetched: %1").arg(ReasonOf(status, {})));
  if (body.size() >= qsizetype{kMaxPictureBytes})
    return Fail(E_OUTOFMEMORY, tr("The picture is too large to preview."));
  QImage picture;
  if (!picture.loadFromData(body)) return Fail(E_FAIL, tr("The picture could not be read."));
  picture_ = std::move(picture);
  message_->setText(tr("%1 x %2 pixels").arg(picture_.width()).arg(picture_.height()));
  ShowScaled();
  finished_ = true;
  emit finished(S_OK);
}

void CPreviewDlg::Fail(HRESULT status, const QString& what) {
  LogMgr::Get().Warn("PreviewDlg", "No preview of %s: 0x%08x", file_.name.c_str(), static_cast<unsigned>(status));
  message_->setText(what);
  image_->clear();
  finished_ = true;
  emit finished(status);
}

void CPreviewDlg::ShowScaled() {
  if (picture_.isNull()) return;
  const QSize room = image_->size();
  // A small picture is shown as it is; only a large one is scaled down.
  const QImage shown = picture_.width() > room.width() || picture_.height() > room.height()
                           ? picture_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                           : picture_;
  image_->setPixmap(QPixmap::fromImage(shown));
}

void CPreviewDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ShowScaled();
}

}  // namespace korvex::app
