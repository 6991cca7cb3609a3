//===- app/PreviewDlg.h - The preview of a cloud picture or video -*- C++ -*-===//
///
/// "Preview - <name>": asks the service for the file's preview address and
/// shows what is behind it. A picture is fetched on a requestor of the
/// dialog's own and shown scaled to the window; a video is handed to the
/// desktop's player, which streams it from the address.
///
/// The dialog is on screen at once and says what it waits for; the fetch
/// runs on the requestor's thread, so the windows keep working meanwhile.
/// Closing the dialog cancels a fetch still under way.
///
///   asking --address--> fetching --bytes--> shown
///     |   \--video--> offered (Play)          |
///     +-------------------+-------------------+--> failed (the reason shown)
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QDialog>
#include <QImage>

#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace korvex {
class HttpRequestor;
}

namespace korvex::app {

class CPreviewDlg : public QDialog {
  Q_OBJECT
 public:
  enum class Kind { kNone, kPicture, kVideo };
  /// What a file of this name previews as, by its extension.
  [[nodiscard]] static Kind KindOf(const std::string& name);

  /// `store` is the cloud pane's; it must outlive the dialog.
  CPreviewDlg(DataStore& store, const ItemInfo& file, QWidget* parent = nullptr);
  ~CPreviewDlg() override;

  /// Asks for the preview address (the windows keep painting meanwhile) and
  /// starts fetching a picture. A failure is shown in the dialog and
  /// returned.
  [[nodiscard]] HRESULT Start();

  /// The picture once it has arrived (null before and after a failure).
  [[nodiscard]] const QImage& Picture() const noexcept { return picture_; }
  /// The address a video plays from.
  [[nodiscard]] const QString& Address() const noexcept { return address_; }
  [[nodiscard]] bool Finished() const noexcept { return finished_; }

 signals:
  void finished(HRESULT status);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  [[nodiscard]] HRESULT AskAddress(std::string& url);
  [[nodiscard]] HRESULT Fetch(const std::string& url);
  void OnFetched(HRESULT status, const QByteArray& body);
  void Fail(HRESULT status, const QString& what);
  void ShowScaled();

  DataStore& store_;
  ItemInfo file_;
  Kind kind_;
  QLabel* message_;
  QLabel* image_;
  QPushButton* play_;
  QImage picture_;
  QString address_;
  bool finished_ = false;
  std::unique_ptr<HttpRequestor> requestor_;
};

}  // namespace korvex::app
