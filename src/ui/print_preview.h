#pragma once
// CPrintPreView: the drawing of one processed plot file. The follow view (modeless, no input)
// shows the file the queue sends; the interactive view (modal) lets the operator send the file
// again from a chosen line through the configured link, with the queue's bookkeeping after.
#include <QDialog>

#include <atomic>
#include <memory>
#include <optional>

#include "intake/send_queue.h"
#include "links/transfer_link.h"
#include "ui/logic/display_copy.h"
#include "ui/logic/preview_logic.h"
#include "ui/post_channel.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace qel::plot {
class CDisposeFile;
}

namespace qel::ui {

class CMyView;
class Prompter;
class PreviewOwner;

class CPrintPreView : public QDialog {
  Q_OBJECT
 public:
  // queue: the main window's queue (preview-transfer flag, bookkeeping); may be null.
  CPrintPreView(QString home, links::LinkFactory links, intake::CSendQueue* queue, bool interactive,
                QWidget* parent = nullptr);
  ~CPrintPreView() override;

  // Interactive view: false ("The file isn't Exist!" shown) for a missing file, false when the
  // temporary folder cannot be made. Loads the file on a worker.
  bool openFile(const QString& path);
  // The follow view: show this file now.
  void pointAt(const QString& path);
  // The list and row the file was picked from (the send queue and the recycle bin are moved to
  // the history after a send).
  void setOrigin(intake::QueueList list, const QString& rowText);

  const QString& file() const { return path_; }
  bool loaded() const { return logic_.has_value(); }
  bool loading() const { return loading_; }
  const PreviewLogic* logic() const { return logic_ ? &*logic_ : nullptr; }
  CMyView* view() const { return view_; }
  bool sending() const { return sending_; }
  // Exit: refused while a send runs.
  void reject() override;

 signals:
  void loadFinished(bool ok);
  void sendFinished(bool ok);

 protected:
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void retranslate();
  void applyState();
  void startLoad();
  void onLoaded(quint64 generation, std::shared_ptr<plot::CDisposeFile> doc, bool ok, const QString& error,
                std::shared_ptr<const DisplayCopy> copy);
  void onSet();
  void onMod();
  void onPrint();
  void onCancel();
  void onPicked(int index, Qt::MouseButton button);
  void onSendDone(const PreviewSendResult& r);

  QString home_;
  links::LinkFactory links_;
  intake::CSendQueue* queue_;
  bool interactive_;
  QString path_;
  QString tempFolder_;
  std::optional<intake::QueueList> originList_;
  QString originRow_;

  std::shared_ptr<plot::CDisposeFile> document_;
  std::optional<PreviewLogic> logic_;
  quint64 loadGeneration_ = 0;
  bool loading_ = false;
  bool sending_ = false;
  QString loadError_;
  std::shared_ptr<PostChannel> channel_;
  std::shared_ptr<Prompter> prompter_;
  std::shared_ptr<PreviewOwner> owner_;

  CMyView* view_;
  QGroupBox* linesBox_;
  QLabel* startLabel_;
  QLineEdit* startField_;
  QPushButton* setButton_;
  QPushButton* modButton_;
  QPushButton* printButton_;
  QPushButton* cancelButton_;
  QPushButton* exitButton_;
  QLabel* infoLabel_;
  QProgressBar* progress_;
};

}  // namespace qel::ui
