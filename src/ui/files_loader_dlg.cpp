#include "ui/files_loader_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

#include <cstdio>

#include "config/ini_config.h"
#include "config/language.h"
#include "ui/language.h"
#include "ui/logic/main_rules.h"
#include "ui/logic/window_place.h"
#include "ui/message_service.h"
#include "ui/place_keeper.h"
#include "ui/queue_words.h"
#include "ui/settings_fields.h"
#include "ui/print_preview.h"
#include "ui/prompt.h"
#include "ui/tray.h"
#include "ui/settings_dlg.h"
#ifdef QEL_HAVE_CCD
#include "ui/camera_transfer.h"
#endif

namespace qel::ui {

using intake::QueueList;
using intake::QueueStatus;

// ---- list wording ---------------------------------------------------------------------------

QVariant QueueListWording::data(const QModelIndex& index, int role) const {
  QVariant v = QIdentityProxyModel::data(index, role);
  if (role != Qt::DisplayRole || index.column() != 1) return v;
  // What happens to the row, as the queue notes it; rows without a note show their text.
  const auto note = QIdentityProxyModel::data(index, intake::kRowNoteRole).value<intake::RowNote>();
  if (note.state != intake::RowState::None) return QueueWords::rowNote(note);
  const QString s = v.toString();
  if (s == QLatin1String("Fail")) return CFilesLoaderDlg::tr("Fail");
  return v;
}

QVariant QueueListWording::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
    const QString s = QIdentityProxyModel::headerData(section, orientation, role).toString();
    if (s == QLatin1String("File Name")) return CFilesLoaderDlg::tr("File Name");
    if (s == QLatin1String("Status")) return CFilesLoaderDlg::tr("Status");
    return s;
  }
  return QIdentityProxyModel::headerData(section, orientation, role);
}

void QueueListWording::retranslate() {
  if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

// ---- the window -----------------------------------------------------------------------------

CFilesLoaderDlg::CFilesLoaderDlg(QString home, Services services, QWidget* parent)
    : QDialog(parent), home_(std::move(home)), services_(std::move(services)), prompter_(std::make_shared<Prompter>(this)) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowIcon(programIcon());
  links_ = services_.queue.links;

  // Start-up: the settings, then the window, then the queue.
  config::CIniConfig cfg(home_.toStdString());
  applyLanguage(cfg);
  debugConsole_ = cfg.read(config::keys::DebugStatus) != 0;
  if (const auto check = cfg.fileCheck(); check.unreadable()) {
    // The program runs on the defaults (whose machine address is no test machine): say so.
    const QString path = QString::fromStdString(cfg.iniPath()), why = QString::fromStdString(check.reason);
    QMetaObject::invokeMethod(this, [this, path, why] {
      warning(this, QString(), tr("%1 cannot be read (%2): every setting has its default.").arg(path, why));
    }, Qt::QueuedConnection);
  }

  queue_ = std::make_unique<intake::CSendQueue>(home_, services_.queue, this);
  queue_->setPrompt([p = prompter_](const QString& title, const QString& text, bool okCancel) {
    return p->ask(title, text, okCancel);
  });
#ifdef QEL_HAVE_CCD
  // Page mode 9: the CCD cut window takes the first queued file, modally, with the queued files
  // as its plates.
  queue_->setCcdCutHandler([this](const QString& path) {
    cameraTransfer::Services s;
    s.linkOwner = queue_.get();
    s.links = &links_;
    const QString dir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    for (int i = 0; i < queue_->sendQueueList()->count(); ++i) s.files << dir + queue_->sendQueueList()->text(i);
    const auto plates = s.files.size();
    cameraTransfer window(home_, path, std::move(s), this);
    emit queue_->logLine(QStringLiteral("CCD cut window: %1, plates from %2 queued file(s)").arg(path).arg(plates));
    window.exec();
    emit queue_->logLine(QStringLiteral("CCD cut window closed"));
    return window.workflow().piecesSent();
  });
#endif
  buildWindow();
  // A first start leaves room on the left for the follow preview when the screen is wide enough.
  place_ = new PlaceKeeper(this, home_, QStringLiteral("MainWindow"), [](const QRect& available, const QSize& frame) {
    return firstMainPlace(frame, available, kFollowWidth, kFollowMinWidth);
  });

  if (services_.tray) tray_ = services_.tray;
  else {
    ownTray_ = std::make_unique<SystemTray>();
    tray_ = ownTray_.get();
  }
  connect(tray_, &Tray::clicked, this, &CFilesLoaderDlg::restoreFromTray);
  if (tray_->available()) tray_->show(programIcon(), tr("Click to open directory watcher window"));

  connect(queue_.get(), &intake::CSendQueue::statusEvent, this, &CFilesLoaderDlg::onStatus);
  connect(queue_.get(), &intake::CSendQueue::messageEvent, this, &CFilesLoaderDlg::onMessage);
  connect(queue_.get(), &intake::CSendQueue::fileFailed, this, &CFilesLoaderDlg::onFailed);
  connect(queue_.get(), &intake::CSendQueue::pausedFor, this, &CFilesLoaderDlg::onPausedFor);
  connect(queue_.get(), &intake::CSendQueue::pausedChanged, this, &CFilesLoaderDlg::onPausedChanged);
  connect(queue_.get(), &intake::CSendQueue::previewRequested, this, &CFilesLoaderDlg::onFollowRequested);
  connect(queue_.get(), &intake::CSendQueue::previewSent, this, [this](const QString& path) {
    if (follow_ && QFileInfo::exists(path)) follow_->pointAt(path);
  });
  // The newest history row stays in view.
  connect(historyWording_, &QAbstractItemModel::rowsInserted, historyView_, [this] { historyView_->scrollToBottom(); });
  connect(historyWording_, &QAbstractItemModel::modelReset, historyView_, [this] { historyView_->scrollToBottom(); });
  connect(queue_.get(), &intake::CSendQueue::previewClosed, this, &CFilesLoaderDlg::closeFollow);
  connect(queue_.get(), &intake::CSendQueue::logLine, this, [this](const QString& line) {
    if (!debugConsole_) return;
    std::printf("%s %s\n", QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")).toLocal8Bit().constData(),
                line.toLocal8Bit().constData());
    std::fflush(stdout);
  });

  onStatus(intake::kPaneWaiting, QueueStatus::Waiting, 0);
  onStatus(intake::kPaneTranslated, QueueStatus::Translated, 0);
  onStatus(intake::kPaneSent, QueueStatus::Sent, 0);
  onPausedChanged(false, false);
  retranslate();
  queue_->setPreviewTransfer(false);
  queue_->start();
}

CFilesLoaderDlg::~CFilesLoaderDlg() {
  prompter_->close();
  if (tray_) tray_->hide();
  // The follow preview goes now, while this window is whole: deleted later among the children,
  // its "destroyed" report would reach a window already half gone.
  if (CPrintPreView* f = follow_) {
    follow_ = nullptr;
    delete f;
  }
  queue_->stop();
}

QTableView* CFilesLoaderDlg::makeList(QueueList list, intake::FileListModel* model, QueueListWording** wording) {
  auto* view = new QTableView(this);
  *wording = new QueueListWording(this);
  (*wording)->setSourceModel(model);
  view->setModel(*wording);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setShowGrid(true);
  view->setWordWrap(false);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->verticalHeader()->hide();
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
  view->horizontalHeader()->setStretchLastSection(true);
  view->horizontalHeader()->setHighlightSections(false);
  view->setColumnWidth(0, 250);
  if (model->columnCount() > 1) view->setColumnWidth(1, 150);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view, &QTableView::customContextMenuRequested, this, [this, view, list](const QPoint& at) {
    const QModelIndex index = view->indexAt(at);
    if (!index.isValid()) return;
    view->selectRow(index.row());
    if (QMenu* menu = contextMenuFor(list, index.row())) {
      menu->exec(view->viewport()->mapToGlobal(at));
      menu->deleteLater();
    }
  });
  connect(view, &QTableView::doubleClicked, this, [this, list](const QModelIndex& index) { openPreview(list, index.row()); });
  return view;
}

void CFilesLoaderDlg::buildWindow() {
  buildLists();
  buildParamBox();
  buildWatchBox();
  buildQueueButtons();
  auto* left = new QVBoxLayout;
  left->addWidget(queueBox_, 3);
  left->addWidget(historyBox_, 3);
  left->addWidget(binBox_, 2);
  auto* right = new QVBoxLayout;
  right->addWidget(paramBox_);
  right->addWidget(watchBox_);
  right->addWidget(pauseButton_);
  right->addWidget(addButton_);
  right->addStretch(1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 3);
  columns->addLayout(right, 1);
  buildStatusBar();
  auto* root = new QVBoxLayout(this);
  root->addLayout(columns, 1);
  root->addWidget(statusBar_);
  resize(980, 680);
}

void CFilesLoaderDlg::buildLists() {
  queueBox_ = new QGroupBox(this);
  historyBox_ = new QGroupBox(this);
  binBox_ = new QGroupBox(this);
  queueView_ = makeList(QueueList::SendQueue, queue_->sendQueueList(), &queueWording_);
  queueView_->setObjectName(QStringLiteral("sendQueueList"));
  historyView_ = makeList(QueueList::History, queue_->historyList(), &historyWording_);
  historyView_->setObjectName(QStringLiteral("historyList"));
  binView_ = makeList(QueueList::RecycleBin, queue_->recycleBinList(), &binWording_);
  binView_->setObjectName(QStringLiteral("recycleBinList"));
  for (auto [box, view] : {std::pair{queueBox_, queueView_}, std::pair{historyBox_, historyView_}, std::pair{binBox_, binView_}}) {
    auto* l = new QVBoxLayout(box);
    l->addWidget(view);
  }
}

void CFilesLoaderDlg::buildParamBox() {
  paramBox_ = new QGroupBox(this);
  ipLabel_ = new QLabel(paramBox_);
  widthLabel_ = new QLabel(paramBox_);
  lengthLabel_ = new QLabel(paramBox_);
  ipField_ = new QLineEdit(paramBox_);
  ipField_->setObjectName(QStringLiteral("ipField"));
  widthField_ = new QLineEdit(paramBox_);
  widthField_->setObjectName(QStringLiteral("widthField"));
  lengthField_ = new QLineEdit(paramBox_);
  lengthField_->setObjectName(QStringLiteral("lengthField"));
  saveButton_ = new QPushButton(paramBox_);
  saveButton_->setObjectName(QStringLiteral("saveButton"));
  advancedButton_ = new QPushButton(paramBox_);
  advancedButton_->setObjectName(QStringLiteral("advancedButton"));
  auto* pl = new QGridLayout(paramBox_);
  pl->addWidget(ipLabel_, 0, 0);
  pl->addWidget(ipField_, 0, 1);
  pl->addWidget(widthLabel_, 1, 0);
  pl->addWidget(widthField_, 1, 1);
  pl->addWidget(lengthLabel_, 2, 0);
  pl->addWidget(lengthField_, 2, 1);
  auto* pb = new QHBoxLayout;
  pb->addWidget(saveButton_);
  pb->addWidget(advancedButton_);
  pl->addLayout(pb, 3, 0, 1, 2);

  const MachineFields f = loadMachineFields(home_);
  ipField_->setText(f.ip);
  widthField_->setText(f.width);
  lengthField_->setText(f.length);
  // Digits and points only in the address, numbers only in the sizes; "Save" checks the rest.
  ipField_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]{0,15}")), ipField_));
  applyRule(widthField_, kPageSizeRule);
  applyRule(lengthField_, kPageSizeRule);
  connect(saveButton_, &QPushButton::clicked, this, &CFilesLoaderDlg::onSave);
  connect(advancedButton_, &QPushButton::clicked, this, &CFilesLoaderDlg::onAdvanced);
}

void CFilesLoaderDlg::buildWatchBox() {
  watchBox_ = new QGroupBox(this);
  folderField_ = new QLineEdit(watchBox_);
  folderField_->setObjectName(QStringLiteral("folderField"));
  folderField_->setReadOnly(true);
  browseButton_ = new QPushButton(QStringLiteral("..."), watchBox_);
  browseButton_->setObjectName(QStringLiteral("browseButton"));
  browseButton_->setFixedWidth(40);
  auto* wl = new QHBoxLayout(watchBox_);
  wl->addWidget(folderField_, 1);
  wl->addWidget(browseButton_);
  folderField_->setText(queue_->watchDir());
  connect(browseButton_, &QPushButton::clicked, this, &CFilesLoaderDlg::onBrowse);
}

void CFilesLoaderDlg::buildQueueButtons() {
  pauseButton_ = new QPushButton(this);
  pauseButton_->setObjectName(QStringLiteral("pauseButton"));
  pauseButton_->setMinimumHeight(96);
  QFont big = pauseButton_->font();
  big.setPointSizeF(big.pointSizeF() * 1.8);
  big.setBold(true);
  pauseButton_->setFont(big);
  addButton_ = new QPushButton(QStringLiteral("+"), this);
  addButton_->setObjectName(QStringLiteral("addButton"));
  addButton_->setMinimumHeight(36);
  connect(addButton_, &QPushButton::clicked, this, &CFilesLoaderDlg::onAdd);
  connect(pauseButton_, &QPushButton::clicked, this, &CFilesLoaderDlg::onPause);
}

void CFilesLoaderDlg::buildStatusBar() {
  // Four panes: right edges at 130, 300 and 420 pixels, the last one filling the rest.
  statusBar_ = new QStatusBar(this);
  statusBar_->setSizeGripEnabled(false);
  const int widths[3] = {130, 170, 120};
  for (int i = 0; i < 4; ++i) {
    paneLabels_[i] = new QLabel(statusBar_);
    paneLabels_[i]->setObjectName(QStringLiteral("pane%1").arg(i));
    if (i < 3) paneLabels_[i]->setFixedWidth(widths[i] - 6);
    statusBar_->addWidget(paneLabels_[i], i == 3 ? 1 : 0);
  }
}

void CFilesLoaderDlg::retranslate() {
  setWindowTitle(tr("QEL CUTTING SYSTEM"));
  queueBox_->setTitle(tr("Send Queue"));
  historyBox_->setTitle(tr("Send History"));
  binBox_->setTitle(tr("Recycle Bin"));
  paramBox_->setTitle(tr("Parameters"));
  ipLabel_->setText(tr("IP:"));
  widthLabel_->setText(tr("Width:"));
  lengthLabel_->setText(tr("Length:"));
  saveButton_->setText(tr("Save"));
  advancedButton_->setText(tr("Advanced"));
  watchBox_->setTitle(tr("Watching Dir"));
  pauseButton_->setText(queuePaused() ? tr("Continue") : tr("Pause"));
  for (auto* w : {queueWording_, historyWording_, binWording_}) w->retranslate();
  for (int i = 0; i < 4; ++i)
    if (paneWords_[i]) paneLabels_[i]->setText(paneWords_[i]());
  if (tray_) tray_->setTip(tr("Click to open directory watcher window"));
}

QString CFilesLoaderDlg::statusWords(QueueStatus what, int count) const {
  switch (what) {
    case QueueStatus::Waiting: return tr("Waiting File: %1").arg(count);
    case QueueStatus::Translated: return tr("Translated File: %1").arg(count);
    case QueueStatus::Sent: return tr("Sended File: %1").arg(count);
    case QueueStatus::WaitingToSend: return tr("Waiting to send files.");
    case QueueStatus::BackupSuccess: return tr("Backup File Success");
    case QueueStatus::BackupFail: return tr("Backup File Fail");
    case QueueStatus::NoLink: return tr("transfer type %1 has no link in this build").arg(count);
  }
  return {};
}

void CFilesLoaderDlg::setPane(int pane, std::function<QString()> words) {
  if (pane < 0 || pane > 3) return;
  paneWords_[pane] = std::move(words);
  paneLabels_[pane]->setText(paneWords_[pane]());
  paneLabels_[pane]->setToolTip(paneLabels_[pane]->text());
}

void CFilesLoaderDlg::onStatus(int pane, QueueStatus what, int count) {
  if (pane < 0 || pane > 3) return;
  setPane(pane, [this, what, count] { return statusWords(what, count); });
  // An empty waiting list makes the folder button usable again.
  if (what == QueueStatus::Waiting && count == 0) browseButton_->setEnabled(true);
}

QString CFilesLoaderDlg::paneText(int pane) const { return pane >= 0 && pane < 4 ? paneLabels_[pane]->text() : QString(); }

void CFilesLoaderDlg::onMessage(intake::QueueMessage what, const QString& a, const QString& b) {
  switch (what) {
    case intake::QueueMessage::TranslateThreadFailed: say(tr("Creating Optimize thread failed!")); break;
    case intake::QueueMessage::TransferThreadFailed: say(tr("Create Transfer Thread Fail!")); break;
    // Said with the file's failure (onFailed), in the words of its kind.
    case intake::QueueMessage::WidthOutOfRange: break;
    case intake::QueueMessage::LinkMessage: say(b.isEmpty() ? a : b + QStringLiteral(": ") + a); break;
    case intake::QueueMessage::ScaleWithoutScalingPoints:
      say(tr("%1 sets user units (SC) without scaling points (IP): one user unit is one plotter unit, and the "
             "drawing comes out %2 mm.")
              .arg(a, b));
      break;
    case intake::QueueMessage::LeftoversUnsent:
      // Said once the window is up (the queue starts inside the constructor).
      QMetaObject::invokeMethod(this, [this, a] {
        say(tr("These page files were not sent before the program stopped; they are in the recycle bin: %1").arg(a));
      }, Qt::QueuedConnection);
      break;
  }
}

void CFilesLoaderDlg::onFailed(const intake::QueueFailure& f) {
  setPane(intake::kPaneMessage, [f] { return QueueWords::failed(f); });
  // A rejected source is said in a box; send failures stand in their row and this pane (the
  // queue retries them, and pauses with a box once retrying is of no use).
  if (intake::isTranslateKind(f.kind) && f.kind != intake::FailureKind::ChangedWhileRead &&
      f.kind != intake::FailureKind::SourceVanished && f.kind != intake::FailureKind::ConversionFailed)
    say(QueueWords::rejected(f));
}

void CFilesLoaderDlg::onPausedFor(intake::PauseCause cause, const intake::QueueFailure& f) {
  setPane(intake::kPaneMessage, [cause, f] { return QueueWords::paused(cause, f); });
  if (cause == intake::PauseCause::Failure || cause == intake::PauseCause::RepeatedFailure)
    say(tr("The queue paused: %1\nPress Continue to go on.").arg(QueueWords::paused(cause, f)));
}

void CFilesLoaderDlg::say(const QString& text) {
  if (!messages_.offer(text)) return;
  information(this, QString(), text);
  for (QStringList more = messages_.next(); !more.isEmpty(); more = messages_.next())
    information(this, QString(), more.size() == 1 ? more[0] : tr("%1 more messages:\n\n%2").arg(more.size()).arg(more.join(QStringLiteral("\n\n"))));
}

void CFilesLoaderDlg::onPausedChanged(bool paused, bool browseEnabled) {
  pauseButton_->setText(paused ? tr("Continue") : tr("Pause"));
  // Going on: a pause's reason no longer stands in the last-event pane.
  if (!paused && paneWords_[intake::kPaneMessage]) setPane(intake::kPaneMessage, [] { return QueueWords::running(); });
  browseButton_->setEnabled(browseEnabled);
  const bool editing = editingAllowed(paused);
  advancedButton_->setEnabled(editing);
  addButton_->setEnabled(editing);
}

void CFilesLoaderDlg::onPause() { queue_->TogglePause(); }

void CFilesLoaderDlg::onSave() {
  const MachineFields fields{ipField_->text(), widthField_->text(), lengthField_->text()};
  switch (checkMachineFields(fields)) {
    case MachineCheck::Accepted: saveMachineFields(home_, fields); return;
    case MachineCheck::AddressRefused:
      ipField_->setFocus();
      warning(this, tr("Error"), tr("%1 must be an address such as 192.168.0.250.").arg(fieldName(ipLabel_->text())));
      return;
    case MachineCheck::WidthRefused:
    case MachineCheck::LengthRefused: {
      const bool width = checkMachineFields(fields) == MachineCheck::WidthRefused;
      QLineEdit* field = width ? widthField_ : lengthField_;
      field->setFocus();
      const FieldRefusal r{width ? "width" : "length", checkNumber(field->text().toStdString(), kPageSizeRule), kPageSizeRule};
      warning(this, tr("Error"), refusalText((width ? widthLabel_ : lengthLabel_)->text(), r));
      return;
    }
  }
}

void CFilesLoaderDlg::onAdvanced() {
  if (!editingAllowed(queuePaused())) return;
  CSettingDlg dlg(home_, this);
  emit settingsOpened(&dlg);
  dlg.exec();
  reloadSettings();
}

void CFilesLoaderDlg::reloadSettings() {
  config::CIniConfig cfg(home_.toStdString());
  applyLanguage(cfg);
  debugConsole_ = cfg.read(config::keys::DebugStatus) != 0;
  queue_->reloadSettings();
  folderField_->setText(queue_->watchDir());
  const MachineFields f = loadMachineFields(home_);
  ipField_->setText(f.ip);
  widthField_->setText(f.width);
  lengthField_->setText(f.length);
  retranslate();
}

void CFilesLoaderDlg::onBrowse() {
  const QString caption = tr("Select the Directory you wish to Watcher...");
  auto choose = services_.chooseFolder ? services_.chooseFolder : [](QWidget* parent, const QString& cap, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, cap, start, QFileDialog::ShowDirsOnly);
  };
  QString dir;
  for (;;) {
    dir = choose(this, caption, folderField_->text());
    if (dir.isEmpty()) return;
    if (QFileInfo(dir).isDir()) break;
    // A typed path that is no folder: Yes chooses again, No gives up.
    if (!question(this, QString(), tr("The path entered is not valid! Continue ?"), true)) return;
  }
  dir = QDir::cleanPath(dir);
  folderField_->setText(dir);
  config::CIniConfig cfg(home_.toStdString());
  cfg.write(config::keys::Watcher_Dir, dir.toStdString());
  queue_->setWatchDir(dir);
}

void CFilesLoaderDlg::onAdd() {
  if (!editingAllowed(queuePaused())) return;
  const QString filter = tr("Plot files and drawings (*.plt *.hpg *.hp2 *.hpgl *.pdf *.svg *.PLT *.HPG *.HP2 *.HPGL *.PDF *.SVG)");
  auto choose = services_.chooseFile ? services_.chooseFile : [](QWidget* parent, const QString& f) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), f);
  };
  const QString file = choose(this, filter);
  if (file.isEmpty()) return;
  // The translate worker takes it at once; the window goes on.
  queue_->translateNow(file);
}

QMenu* CFilesLoaderDlg::contextMenuFor(QueueList list, int row) {
  if (!editingAllowed(queuePaused())) return nullptr;
  const std::vector<MenuEntry> entries = menuFor(list);
  if (entries.empty()) return nullptr;
  auto* menu = new QMenu(this);
  for (const MenuEntry& e : entries) {
    QString text;
    switch (e.action) {
      case ListAction::ToHistory: text = tr("to History"); break;
      case ListAction::ToBin: text = tr("to Bin"); break;
      case ListAction::ToQueue: text = tr("to Queue"); break;
      case ListAction::ModifyName: text = tr("Modify name"); break;
    }
    QAction* a = menu->addAction(text);
    connect(a, &QAction::triggered, this, [this, e, list, row] {
      if (e.action == ListAction::ModifyName) {
        CModifyName dlg(queue_->historyList()->text(row), this);
        if (dlg.exec() != QDialog::Accepted) return;
        QString why;
        if (!queue_->modifyName(row, dlg.name(), &why)) information(this, QString(), tr("file name invalid!"));
        return;
      }
      QString why;
      queue_->moveRow(list, row, e.target, &why);
    });
  }
  return menu;
}

void CFilesLoaderDlg::openPreview(QueueList list, int row) {
  intake::FileListModel* model = list == QueueList::SendQueue ? queue_->sendQueueList()
                                 : list == QueueList::History  ? queue_->historyList()
                                                               : queue_->recycleBinList();
  const QString rowText = row >= 0 && row < model->count() ? model->text(row) : QString();
  const QString path = rowFile(*queue_, list, rowText);
  switch (checkPreviewFile(path)) {
    case PreviewCheck::EmptyName: information(this, QString(), tr("Print-View File Name Can't NULL.")); return;
    case PreviewCheck::Missing: information(this, QString(), tr("Print-View File Isn't Exist")); return;
    case PreviewCheck::Ok: break;
  }
  CPrintPreView preview(home_, links_, queue_.get(), true, this);
  if (!preview.openFile(path)) return;
  preview.setOrigin(list, rowText);
  emit previewOpened(&preview);
  preview.exec();
  queue_->setPreviewTransfer(false);
}

void CFilesLoaderDlg::onFollowRequested(const QString& path) {
  if (!follow_) {
    follow_ = new CPrintPreView(home_, links_, queue_.get(), false, this);
    follow_->setAttribute(Qt::WA_DeleteOnClose);
    follow_->setModal(false);
    follow_->resize(kFollowWidth, kFollowHeight);
  }
  follow_->pointAt(path);
  placeFollow();
}

void CFilesLoaderDlg::closeFollow() {
  if (follow_) {
    CPrintPreView* f = follow_;
    follow_ = nullptr;
    f->close();
  }
}

void CFilesLoaderDlg::placeFollow() {
  if (!follow_) return;
  // Shown only beside a shown window, and only where it covers nothing of it.
  const auto frame = isVisible() && !isMinimized()
                         ? followPlace(frameGeometry(),
                                       QSize(kFollowWidth, kFollowHeight) + (follow_->frameGeometry().size() - follow_->size()),
                                       PlaceKeeper::availableFor(this), kFollowMinWidth)
                         : std::nullopt;
  if (!frame) {
    follow_->hide();
    return;
  }
  follow_->setGeometry(PlaceKeeper::clientFor(follow_, *frame));
  if (!follow_->isVisible()) {
    follow_->show();
    // Placed with a guessed frame: once the window system has framed it, place it again.
    QMetaObject::invokeMethod(this, [this] { placeFollow(); }, Qt::QueuedConnection);
  }
}

void CFilesLoaderDlg::moveEvent(QMoveEvent* e) {
  QDialog::moveEvent(e);
  placeFollow();
}

void CFilesLoaderDlg::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  placeFollow();
}

void CFilesLoaderDlg::changeEvent(QEvent* e) {
  if (e->type() == QEvent::LanguageChange) retranslate();
  if (e->type() == QEvent::WindowStateChange && isMinimized()) {
    // The follow preview goes with the window.
    if (follow_) follow_->hide();
    if (tray_ && tray_->available()) {
      // Minimised: into the notification area.
      tray_->show(programIcon(), tr("Click to open directory watcher window"));
      QMetaObject::invokeMethod(this, [this] { hide(); }, Qt::QueuedConnection);
    }
  }
  if (e->type() == QEvent::WindowStateChange && !isMinimized())
    QMetaObject::invokeMethod(this, [this] { placeFollow(); }, Qt::QueuedConnection);
  QDialog::changeEvent(e);
}

void CFilesLoaderDlg::restoreFromTray() {
  tray_->hide();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  showNormal();
  raise();
  activateWindow();
  placeFollow();
}

void CFilesLoaderDlg::closeEvent(QCloseEvent* e) {
  if (tray_) tray_->hide();
  closeFollow();
  QDialog::closeEvent(e);
}

// Escape does not close the main window; only the close box does.
void CFilesLoaderDlg::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    e->ignore();
    return;
  }
  QDialog::keyPressEvent(e);
}

// ---- Modify name ----------------------------------------------------------------------------

CModifyName::CModifyName(const QString& name, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Modify file name"));
  field_ = new QLineEdit(name, this);
  field_->setObjectName(QStringLiteral("nameField"));
  field_->setMinimumWidth(320);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* l = new QVBoxLayout(this);
  l->addWidget(field_);
  l->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CModifyName::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CModifyName::reject);
}

QString CModifyName::name() const { return field_->text(); }

void CModifyName::accept() {
  if (field_->text().isEmpty()) {
    information(this, QString(), tr("file name invalid!"));
    return;
  }
  QDialog::accept();
}

}  // namespace qel::ui
