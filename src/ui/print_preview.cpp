#include "ui/print_preview.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>

#include <thread>

#include "config/ini_config.h"
#include "config/language.h"
#include "platform/files.h"
#include "plot/dispose_file.h"
#include "ui/message_service.h"
#include "ui/my_view.h"
#include "ui/place_keeper.h"
#include "ui/prompt.h"
#include "ui/queue_words.h"
#include "links/send_outcome.h"

namespace qel::ui {

// The services a preview's send takes: its own stop (Cancel), the progress bar, questions to
// the operator. It outlives the window when a send is still under way at closing.
class PreviewOwner final : public links::TransferOwner {
 public:
  PreviewOwner(std::string home, std::shared_ptr<Prompter> prompter, std::shared_ptr<PostChannel> channel)
      : home_(std::move(home)), prompter_(std::move(prompter)), channel_(std::move(channel)) {}
  bool stopRequested() const override { return cancel_.load(); }
  void setStopRequest(bool on) override { cancel_ = on; }
  // The preview's own stop always holds; a pause of the queue does not reach this send.
  bool previewTransferRunning() const override { return false; }
  void setProgressRange(int low, int high) override {
    channel_->post<CPrintPreView>([low, high](CPrintPreView* w) { w->findChild<QProgressBar*>()->setRange(low, high); });
  }
  void setProgressPos(int pos) override {
    channel_->post<CPrintPreView>([pos](CPrintPreView* w) { w->findChild<QProgressBar*>()->setValue(pos); });
  }
  int language() const override { return config::languageFlag(); }
  std::string programDir() const override { return home_; }
  bool showMessage(const std::string& title, const std::string& text, Buttons buttons) override {
    return prompter_->ask(QString::fromStdString(title), QString::fromStdString(text), buttons == Buttons::OkCancel);
  }

 private:
  std::string home_;
  std::shared_ptr<Prompter> prompter_;
  std::shared_ptr<PostChannel> channel_;
  std::atomic<bool> cancel_{false};
};

CPrintPreView::CPrintPreView(QString home, links::LinkFactory links, intake::CSendQueue* queue, bool interactive,
                             QWidget* parent)
    : QDialog(parent),
      home_(std::move(home)),
      links_(std::move(links)),
      queue_(queue),
      interactive_(interactive),
      channel_(PostChannel::make(this)),
      prompter_(std::make_shared<Prompter>(this)) {
  setObjectName(QStringLiteral("printPreview"));
  view_ = new CMyView(this);
  view_->setInteractive(interactive);
  RenderOptions ro;
  ro.penWidth = interactive ? 1.6 : 1.2;
  view_->setRenderOptions(ro);

  linesBox_ = new QGroupBox(this);
  startLabel_ = new QLabel(linesBox_);
  startField_ = new QLineEdit(linesBox_);
  startField_->setObjectName(QStringLiteral("startField"));
  startField_->setMaximumWidth(110);
  setButton_ = new QPushButton(linesBox_);
  setButton_->setObjectName(QStringLiteral("setButton"));
  modButton_ = new QPushButton(linesBox_);
  modButton_->setObjectName(QStringLiteral("modButton"));
  auto* lines = new QGridLayout(linesBox_);
  lines->addWidget(startLabel_, 0, 0);
  lines->addWidget(startField_, 0, 1);
  lines->addWidget(setButton_, 1, 0);
  lines->addWidget(modButton_, 1, 1);

  printButton_ = new QPushButton(this);
  printButton_->setObjectName(QStringLiteral("printButton"));
  cancelButton_ = new QPushButton(this);
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  exitButton_ = new QPushButton(this);
  exitButton_->setObjectName(QStringLiteral("exitButton"));
  infoLabel_ = new QLabel(this);
  infoLabel_->setObjectName(QStringLiteral("infoLabel"));
  infoLabel_->setWordWrap(true);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);

  auto* side = new QVBoxLayout;
  side->addWidget(linesBox_);
  side->addSpacing(8);
  side->addWidget(printButton_);
  side->addWidget(cancelButton_);
  side->addWidget(exitButton_);
  side->addSpacing(8);
  side->addWidget(infoLabel_);
  side->addStretch(1);
  side->addWidget(progress_);
  auto* root = new QHBoxLayout(this);
  root->addWidget(view_, 1);
  if (interactive) root->addLayout(side);
  else {
    for (QWidget* w : {static_cast<QWidget*>(linesBox_), static_cast<QWidget*>(printButton_), static_cast<QWidget*>(cancelButton_),
                       static_cast<QWidget*>(exitButton_), static_cast<QWidget*>(infoLabel_), static_cast<QWidget*>(progress_)})
      w->hide();
    delete side;  // the follow view has no side column; its widgets stay children of the window
  }
  resize(interactive ? QSize(900, 620) : QSize(420, 360));
  // The interactive view opens where it stood last; the follow view stands beside the main window.
  if (interactive) new PlaceKeeper(this, home_, QStringLiteral("PrintPreview"));

  connect(setButton_, &QPushButton::clicked, this, &CPrintPreView::onSet);
  connect(modButton_, &QPushButton::clicked, this, &CPrintPreView::onMod);
  connect(printButton_, &QPushButton::clicked, this, &CPrintPreView::onPrint);
  connect(cancelButton_, &QPushButton::clicked, this, &CPrintPreView::onCancel);
  connect(exitButton_, &QPushButton::clicked, this, &QDialog::reject);
  connect(startField_, &QLineEdit::returnPressed, this, &CPrintPreView::onSet);
  connect(view_, &CMyView::strokeClicked, this, &CPrintPreView::onPicked);
  retranslate();
  applyState();
}

CPrintPreView::~CPrintPreView() {
  channel_->close();
  prompter_->close();
  if (owner_) owner_->setStopRequest(true);
  if (sending_ && queue_) queue_->setPreviewTransfer(false);
}

void CPrintPreView::retranslate() {
  setWindowTitle(path_.isEmpty() ? tr("Print View") : QFileInfo(path_).fileName());
  linesBox_->setTitle(tr("Select Lines"));
  startLabel_->setText(tr("Start:"));
  setButton_->setText(tr("Set"));
  modButton_->setText(tr("Mod"));
  printButton_->setText(tr("Print"));
  cancelButton_->setText(tr("Cancel"));
  exitButton_->setText(tr("Exit"));
  if (loading_) infoLabel_->setText(tr("Loading..."));
  else if (!loadError_.isEmpty()) infoLabel_->setText(tr("The file cannot be read: %1").arg(loadError_));
  else if (logic_) infoLabel_->setText(tr("Lines: %1").arg(logic_->lineCount()));
  else infoLabel_->clear();
}

void CPrintPreView::changeEvent(QEvent* e) {
  if (e->type() == QEvent::LanguageChange) retranslate();
  QDialog::changeEvent(e);
}

void CPrintPreView::applyState() {
  const PreviewControls c = logic_ ? logic_->controls() : PreviewControls{false, false, true, false, false, false, false};
  printButton_->setEnabled(c.print);
  cancelButton_->setEnabled(c.cancel);
  exitButton_->setEnabled(c.exit);
  setButton_->setEnabled(c.set);
  modButton_->setEnabled(c.mod);
  startField_->setEnabled(c.startField);
  RenderOptions ro = view_->renderOptions();
  ro.marking = logic_ && c.marking;
  ro.markFrom = logic_ ? logic_->startIndex() : 0;
  ro.markTo = -1;
  view_->setRenderOptions(ro);
  if (queue_ && logic_) queue_->setPreviewTransfer(logic_->previewTransfer());
}

bool CPrintPreView::openFile(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    information(parentWidget(), QString(), tr("The file isn't Exist!"));
    return false;
  }
  config::CIniConfig cfg(home_.toStdString());
  tempFolder_ = QString::fromStdString(cfg.read(config::keys::TPD));
  if (!platform::makeDirectories(tempFolder_.toStdString())) return false;
  path_ = path;
  startLoad();
  return true;
}

void CPrintPreView::pointAt(const QString& path) {
  config::CIniConfig cfg(home_.toStdString());
  tempFolder_ = QString::fromStdString(cfg.read(config::keys::TPD));
  path_ = path;
  startLoad();
}

void CPrintPreView::setOrigin(intake::QueueList list, const QString& rowText) {
  originList_ = list;
  originRow_ = rowText;
}

void CPrintPreView::startLoad() {
  loading_ = true;
  loadError_.clear();
  logic_.reset();
  document_.reset();
  view_->setDisplay(nullptr);
  retranslate();
  applyState();
  const quint64 generation = ++loadGeneration_;
  auto channel = channel_;
  const std::string path = path_.toStdString(), temp = tempFolder_.toStdString(), home = home_.toStdString();
  // Reading runs beside the interface thread: a large file must not freeze the window.
  QThreadPool::globalInstance()->start([channel, generation, path, temp, home] {
    auto doc = std::make_shared<plot::CDisposeFile>(nullptr, path, temp, "", config::CIniConfig(home));
    const bool ok = doc->loadOnly();
    const QString error = QString::fromStdString(doc->errorText());
    // The display copy of a large file takes a while too: made here, not on the interface thread.
    std::shared_ptr<const DisplayCopy> copy = ok ? std::make_shared<const DisplayCopy>(doc->strokes(), doc->labels()) : nullptr;
    channel->post<CPrintPreView>([generation, doc, ok, error, copy](CPrintPreView* w) { w->onLoaded(generation, doc, ok, error, copy); });
  });
}

void CPrintPreView::onLoaded(quint64 generation, std::shared_ptr<plot::CDisposeFile> doc, bool ok, const QString& error,
                             std::shared_ptr<const DisplayCopy> copy) {
  if (generation != loadGeneration_) return;
  loading_ = false;
  if (!ok) {
    loadError_ = error.isEmpty() ? tr("unknown error") : error;
    retranslate();
    applyState();
    emit loadFinished(false);
    return;
  }
  document_ = std::move(doc);
  const auto& strokes = document_->strokes();
  std::vector<bool> marks(strokes.size());
  for (std::size_t i = 0; i < strokes.size(); ++i) marks[i] = strokes[i].outerFlag;
  logic_.emplace(static_cast<int>(strokes.size()), std::move(marks), document_->options().cutFt == 8);
  startField_->setText(logic_->startText());
  view_->setDisplay(std::move(copy));
  retranslate();
  applyState();
  emit loadFinished(true);
}

void CPrintPreView::onSet() {
  if (!logic_ || !logic_->controls().set) return;
  if (!logic_->set(startField_->text())) {
    information(this, QString(), tr("illegal number!"));
    return;
  }
  startField_->setText(logic_->startText());
  applyState();
}

void CPrintPreView::onMod() {
  if (!logic_ || !logic_->controls().mod) return;
  logic_->mod();
  applyState();
  startField_->setFocus();
  startField_->selectAll();
}

void CPrintPreView::onPicked(int index, Qt::MouseButton button) {
  if (!logic_ || sending_) {
    // While a send runs, the right button asks to edit the start (when "Mod" is usable).
    if (logic_ && button == Qt::RightButton && logic_->controls().mod) onMod();
    return;
  }
  if (button == Qt::RightButton) {
    if (logic_->controls().mod) onMod();
    return;
  }
  if (index < 0) return;
  startField_->setText(logic_->pick(index));
  applyState();
}

void CPrintPreView::onPrint() {
  if (!logic_ || !logic_->controls().print || sending_) return;
  logic_->sendStarted();
  sending_ = true;
  progress_->setValue(0);
  applyState();
  config::CIniConfig cfg(home_.toStdString());
  const int linkType = cfg.read(config::keys::Xitong_TT);
  owner_ = std::make_shared<PreviewOwner>(home_.toStdString(), prompter_, channel_);
  auto owner = owner_;
  auto doc = document_;
  auto channel = channel_;
  auto links = links_;
  const int start = logic_->startIndex();
  const std::string temp = tempFolder_.toStdString(), source = path_.toStdString();
  try {
    std::thread([=] {
      PreviewSendResult r = runPreviewSend(*doc, start, temp, source, links, linkType, *owner);
      channel->post<CPrintPreView>([r](CPrintPreView* w) { w->onSendDone(r); });
    }).detach();
  } catch (const std::system_error&) {
    sending_ = false;
    logic_->sendFinished();
    applyState();
    information(this, QString(), tr("Create Send Thread Fail!"));
  }
}

void CPrintPreView::onCancel() {
  // Cancel stops the send under way: the link ends at its next stop check.
  if (owner_ && sending_) owner_->setStopRequest(true);
}

void CPrintPreView::onSendDone(const PreviewSendResult& r) {
  sending_ = false;
  owner_.reset();
  logic_->sendFinished();
  applyState();
  if (!r.written) {
    information(this, QString(), tr("The file isn't Exist!"));
    emit sendFinished(false);
    return;
  }
  if (!r.send.ok) {
    // The link's own text says it in English: the window says what became of the send in the
    // interface language, with the link's words beside it.
    const QString said = QueueWords::sendOutcome(links::classifySend(false, r.send.text, r.stopped));
    information(this, QString(), r.send.text.empty() ? said : tr("%1\n(%2)").arg(said, QString::fromStdString(r.send.text)));
    emit sendFinished(false);
    return;
  }
  // Bookkeeping: a file from the send queue or the recycle bin now counts as sent.
  if (queue_ && QFileInfo::exists(path_)) {
    if (originList_ && (*originList_ == intake::QueueList::SendQueue || *originList_ == intake::QueueList::RecycleBin)) {
      intake::FileListModel* list =
          *originList_ == intake::QueueList::SendQueue ? queue_->sendQueueList() : queue_->recycleBinList();
      const int row = list->find(originRow_);
      if (row >= 0 && queue_->recordPreviewSend(*originList_, row)) {
        // The file lives in the printed folder now; a second send reads it from there.
        originList_ = intake::QueueList::History;
        path_ = queue_->printedDir() + QLatin1Char('/') + QFileInfo(path_).fileName();
      }
    }
    // A follow preview reads the file where it is now.
    emit queue_->previewSent(path_);
  }
  information(this, QString(), tr("Send Successfully"));
  emit sendFinished(true);
}

void CPrintPreView::closeEvent(QCloseEvent* e) {
  // A window with a send under way stays until the send ends (Cancel stops it).
  if (sending_) {
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

void CPrintPreView::reject() {
  if (sending_) return;
  QDialog::reject();
}

}  // namespace qel::ui
