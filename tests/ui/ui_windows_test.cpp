// The main window and the interactive preview driven through their real widgets, over a real
// home folder and Config.ini; the link is a recorder, the clock fast.
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "config/ini_config.h"
#include "intake/dispose_translator.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "support/temp_home.h"
#include "ui/files_loader_dlg.h"
#include "ui/language.h"
#include "ui/message_service.h"
#include "ui/my_view.h"
#include "ui/print_preview.h"
#include "ui/prompt.h"
#include "ui/tray.h"

using namespace qel::ui;
using qel::intake::QueueList;

namespace {

// What the machine received, file by file (written on the queue's thread).
struct Received {
  std::mutex m;
  std::vector<std::string> files;
};

// failText: when not empty, every send fails with this result text.
struct RecordingLink final : qel::links::TransferLink {
  RecordingLink(std::string p, Received* r, std::string f) : path(std::move(p)), received(r), failText(std::move(f)) {}
  bool send() override {
    const std::lock_guard<std::mutex> g(received->m);
    if (failText.empty()) received->files.push_back(qel::platform::readWholeFile(path).value_or(""));
    return failText.empty();
  }
  std::string resultText() const override { return failText; }
  const std::string path;
  Received* const received;  // not owned
  const std::string failText;
};

// The boxes shown, each answered with `answer`; `whileOpen` runs inside the next box, as the queue
// goes on while a modal box is open.
class Boxes final : public MessageService {
 public:
  Boxes() { install(this); }
  ~Boxes() override { install(nullptr); }
  bool show(QWidget*, Kind kind, const QString&, const QString& text, bool) override {
    kinds.push_back(kind), texts << text;
    if (whileOpen) std::exchange(whileOpen, nullptr)();
    return answer;
  }
  bool answer = true;
  std::vector<Kind> kinds;
  QStringList texts;
  std::function<void()> whileOpen;
};

class FakeTray final : public Tray {
 public:
  bool available() const override { return true; }
  void show(const QIcon&, const QString& t) override { shown = true, tip = t; }
  void hide() override { shown = false; }
  bool visible() const override { return shown; }
  void setTip(const QString& t) override { tip = t; }
  void click() { emit clicked(); }
  bool shown = false;
  QString tip;
};

// Ten lines: one stroke each, x = 100 * i.
std::string tenLines() {
  std::string p = "IN;SP1;";
  for (int i = 0; i < 10; ++i)
    p += "PU" + std::to_string(100 * i) + ",0;PD" + std::to_string(100 * i) + ",400;";
  return p + "PU;";
}

}  // namespace

class UiWindowsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<qel::test::TempHome> home_;
  std::unique_ptr<Boxes> boxes_;
  qel::platform::FakeClock clock_;
  qel::intake::DisposeTranslator translator_;
  Received received_;
  std::string failText_;
  FakeTray tray_;

  CFilesLoaderDlg::Services services() {
    CFilesLoaderDlg::Services s;
    s.queue.translator = &translator_;
    s.queue.clock = &clock_;
    s.queue.tickMs = 20;
    s.queue.links.set(3, [this](qel::links::TransferOwner&, const std::string& path, std::int32_t) {
      return std::make_unique<RecordingLink>(path, &received_, failText_);
    });
    s.tray = &tray_;
    return s;
  }
  QString home() const { return QString::fromStdString(home_->path()); }
  std::string configText() const { return home_->readFile("Config.ini"); }

 private slots:
  void init() {
    home_ = std::make_unique<qel::test::TempHome>();
    boxes_ = std::make_unique<Boxes>();
    qel::config::CIniConfig cfg(home_->path());
    cfg.write(qel::config::keys::Xitong_IP, "127.0.0.9");
    cfg.write(qel::config::keys::Xitong_TT, 3);
    cfg.write(qel::config::keys::Language_Type, 1);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.write(qel::config::keys::CUT_FT, 4);
    cfg.writeText("Watcher", "Watcher_SettleMs", "0");  // the queue's clock stands still here
    received_.files.clear(), failText_.clear();
  }
  void cleanup() {
    boxes_.reset();
    home_.reset();
    applyLanguage(1);
  }

  // Save refuses what is no size or address and stores nothing; a real width is stored as typed
  // and shown again as a whole number.
  void saveRefusesBadFieldsAndStoresReals() {
    const std::string before = configText();
    {
      CFilesLoaderDlg w(home(), services());
      auto* width = w.findChild<QLineEdit*>(QStringLiteral("widthField"));
      auto* ip = w.findChild<QLineEdit*>(QStringLiteral("ipField"));
      auto save = [&] { QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton); };
      width->clear();
      QTest::keyClicks(width, QStringLiteral("-abc0"));  // neither a sign nor letters get in
      QCOMPARE(width->text(), QStringLiteral("0"));
      save();
      width->setText(QStringLiteral("1600.5"));
      ip->setText(QStringLiteral("127.0.0.300"));
      save();
      QCOMPARE(boxes_->texts, QStringList({QStringLiteral("Width must be a number from 1 to 100000."),
                                           QStringLiteral("IP must be an address such as 192.168.0.250.")}));
      QVERIFY(configText() == before);
      ip->setText(QStringLiteral("127.0.0.7"));
      save();
    }
    QVERIFY(configText().find("Page_Width=1600.5") != std::string::npos && configText().find("Xitong_IP=127.0.0.7") != std::string::npos);
    CFilesLoaderDlg again(home(), services());
    QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("widthField"))->text(), QStringLiteral("1600"));
  }

  // The preview refuses a row without a file; over a file of the send queue it refuses a start
  // beyond the last line, takes the line picked on the drawing and sends from it.
  void previewSendsFromAPickedLineAndMovesTheFileToTheHistory() {
    CFilesLoaderDlg w(home(), services());
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("pauseButton")), Qt::LeftButton);
    w.openPreview(QueueList::History, 0);
    QCOMPARE(boxes_->texts.value(0), QStringLiteral("Print-View File Name Can't NULL."));
    w.queue().historyList()->append(QStringLiteral("gone.plt"));
    w.openPreview(QueueList::History, 0);
    QCOMPARE(boxes_->texts.value(1), QStringLiteral("Print-View File Isn't Exist"));
    home_->writeFile("CancelledDir/ten_20261207_101010_001.PLT", tenLines());
    w.queue().recycleBinList()->append(QStringLiteral("ten_20261207_101010_001.PLT"));
    QVERIFY(w.queue().moveRow(QueueList::RecycleBin, 0, QueueList::SendQueue));

    bool sent = false;
    connect(&w, &CFilesLoaderDlg::previewOpened, this, [&](CPrintPreView* p) {
      // Whatever happens here, the modal preview must not stay open.
      const auto close = qScopeGuard([p] { QMetaObject::invokeMethod(p, [p] { p->done(QDialog::Rejected); }, Qt::QueuedConnection); });
      QTRY_VERIFY(p->loaded());
      auto* field = p->findChild<QLineEdit*>(QStringLiteral("startField"));
      auto* set = p->findChild<QPushButton*>(QStringLiteral("setButton"));
      QTest::mouseClick(p->findChild<QPushButton*>(QStringLiteral("modButton")), Qt::LeftButton);
      field->setText(QStringLiteral("12"));
      QTest::mouseClick(set, Qt::LeftButton);
      QCOMPARE(boxes_->texts.value(2), QStringLiteral("illegal number!"));
      QVERIFY(field->isEnabled());  // a refused number leaves the start being edited
      // A click on the drawing picks the nearest line (the fifth, x = 400) into the field.
      p->resize(900, 600);
      p->show();
      QVERIFY(QTest::qWaitForWindowExposed(p));
      CMyView* view = p->view();
      view->fitToWindow();
      QTest::mouseClick(view, Qt::LeftButton, {}, view->transform().toPixel(400, 200).toPoint());
      QCOMPARE(field->text(), QStringLiteral("5"));
      QCOMPARE(p->logic()->startIndex(), 0);
      QTest::mouseClick(set, Qt::LeftButton);
      QSignalSpy done(p, &CPrintPreView::sendFinished);
      QTest::mouseClick(p->findChild<QPushButton*>(QStringLiteral("printButton")), Qt::LeftButton);
      QVERIFY(!p->findChild<QPushButton*>(QStringLiteral("exitButton"))->isEnabled());
      QVERIFY(w.queue().previewTransferRunning());
      QVERIFY(done.wait(10000));
      sent = done.at(0).at(0).toBool();
      QVERIFY(!w.queue().previewTransferRunning());
    });
    w.openPreview(QueueList::SendQueue, 0);
    QVERIFY(sent);
    QCOMPARE(received_.files.size(), std::size_t(1));
    const std::string& file = received_.files[0];
    // Lines 5 to 10 (x = 400 .. 900), nothing before.
    QVERIFY(file.starts_with("IN;") && file.find("PU300,0") == std::string::npos);
    QVERIFY(file.find("PU400,0;PD400,400") != std::string::npos && file.find("PU900,0;PD900,400") != std::string::npos);
    QCOMPARE(w.queue().sendQueueList()->count(), 0);
    QCOMPARE(w.queue().historyList()->text(1), QStringLiteral("ten_20261207_101010_001.PLT"));
    QVERIFY(std::filesystem::exists(home_->file("PrintedDir/ten_20261207_101010_001.PLT")));
    QCOMPARE(boxes_->texts.value(3), QStringLiteral("Send Successfully"));
  }

  void folderChooserAndAddRunOnTheQueue() {
    std::filesystem::create_directories(home_->file("other"));
    CFilesLoaderDlg::Services s = services();
    QStringList answers = {home() + QStringLiteral("/no-such-folder"), home() + QStringLiteral("/other")};
    s.chooseFolder = [&](QWidget*, const QString&, const QString&) { return answers.isEmpty() ? QString() : answers.takeFirst(); };
    home_->writeFile("elsewhere/extra.plt", tenLines());
    s.chooseFile = [&](QWidget*, const QString&) { return home() + QStringLiteral("/elsewhere/extra.plt"); };
    CFilesLoaderDlg w(home(), std::move(s));
    auto* browse = w.findChild<QPushButton*>(QStringLiteral("browseButton"));
    QVERIFY(!browse->isEnabled() || w.queue().waitingList()->count() == 0);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("pauseButton")), Qt::LeftButton);
    QVERIFY(browse->isEnabled());
    QTest::mouseClick(browse, Qt::LeftButton);
    // The invalid path asked first; Yes (the recorder's answer) chose again.
    QCOMPARE(boxes_->texts, QStringList{QStringLiteral("The path entered is not valid! Continue ?")});
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("folderField"))->text(), home() + QStringLiteral("/other"));
    QVERIFY(configText().find("Watcher_Dir=" + home_->path() + "/other") != std::string::npos);
    QCOMPARE(w.queue().watchDir(), home() + QStringLiteral("/other"));

    // "+" translates the chosen file on the worker: its pages reach the send queue.
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.queue().sendQueueList()->count() >= 1, 10000);
    QVERIFY(w.queue().sendQueueList()->text(0).startsWith(QStringLiteral("extra_")));
  }

  void aLinkQuestionIsAnsweredWhileTheWindowGoesOn() {
    CFilesLoaderDlg w(home(), services());
    boxes_->answer = false;
    std::atomic<int> answer{-1};
    std::thread worker([&] {
      answer = w.queue().showMessage("Link", "Can not connect to machine !", qel::links::TransferOwner::Buttons::OkCancel) ? 1 : 0;
    });
    // The window handles events (and so the question) while the worker waits for it.
    QTRY_COMPARE(answer.load(), 0);
    worker.join();
    QCOMPARE(boxes_->texts.value(0), QStringLiteral("Can not connect to machine !"));
    QCOMPARE(int(boxes_->kinds.at(0)), int(MessageService::Kind::Question));
  }

  void aClosingWindowReleasesAWaitingQuestion() {
    QWidget window;
    auto prompter = std::make_shared<Prompter>(&window);
    std::atomic<int> answer{-1};
    std::thread worker([&, prompter] { answer = prompter->ask(QStringLiteral("Link"), QStringLiteral("question"), true) ? 1 : 0; });
    // The window closes without handling the question (asked or about to be): Cancel either way,
    // and nobody waits on anybody.
    prompter->close();
    worker.join();
    QCOMPARE(answer.load(), 0);
    QCoreApplication::processEvents();  // a question posted before the close is dropped unshown
    QVERIFY(boxes_->texts.isEmpty());
  }

  // On a 1366 x 768 screen: the main window opens whole, a dropped file is sent while the follow
  // preview stands beside it, both go into the tray and a click on the tray brings them back; the
  // window opens again where it was.
  void aDroppedFileIsSentBesideTheFollowPreviewAndTheWindowsFitTheScreen() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(1366, 768));
    auto besideAndWhole = [&](CFilesLoaderDlg& w) {
      CPrintPreView* f = w.followPreview();
      return f && f->isVisible() && screen.contains(f->frameGeometry()) && !f->frameGeometry().intersects(w.frameGeometry());
    };
    QRect last;
    {
      CFilesLoaderDlg w(home(), services());
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      QVERIFY(screen.contains(w.frameGeometry()));
      QVERIFY(tray_.shown);
      QCOMPARE(tray_.tip, QStringLiteral("Click to open directory watcher window"));
      // A file dropped into the watch folder reaches the machine and the history; the follow
      // preview showed it being sent and reads it where it went after the send.
      home_->writeFile("ListenDir/job.plt", tenLines());
      QTRY_VERIFY_WITH_TIMEOUT(w.queue().historyList()->count() == 1, 10000);
      QCOMPARE(received_.files.size(), std::size_t(1));
      QTRY_COMPARE(w.paneText(2), QStringLiteral("Sended File: 1"));
      QTRY_VERIFY(w.followPreview() && w.followPreview()->file().startsWith(home() + QStringLiteral("/PrintedDir/")) &&
                  w.followPreview()->loaded());
      QTRY_VERIFY(besideAndWhole(w));
      QCOMPARE(w.followPreview()->frameGeometry().right() + 1, w.frameGeometry().left());
      w.setWindowState(Qt::WindowMinimized);
      QTRY_VERIFY(!w.isVisible());
      QVERIFY(!w.followPreview()->isVisible());
      tray_.click();
      QTRY_VERIFY(besideAndWhole(w));
      QVERIFY(!tray_.shown && !w.isMinimized());
      // The history keeps its newest row in view.
      auto* history = w.findChild<QTableView*>(QStringLiteral("historyList"));
      for (int i = 0; i < 60; ++i) w.queue().historyList()->append(QStringLiteral("job_%1.PLT").arg(i));
      QTRY_VERIFY(history->viewport()->rect().contains(history->visualRect(history->model()->index(59, 0))));
      applyLanguage(0);
      QTRY_COMPARE(w.paneText(2), QString::fromUtf8("\xe5\xb7\xb2\xe5\x8f\x91\xe9\x80\x81\xe6\x96\x87\xe4\xbb\xb6: 1"));
      last = w.frameGeometry();
      w.close();
    }
    CFilesLoaderDlg again(home(), services());
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.frameGeometry(), last);
  }

  // A send that fails the same way again and again: the row says how often, the queue pauses and
  // says why, in the interface language; the boxes' own buttons are Chinese too.
  void failuresAndPausesAreSaidInTheInterfaceLanguage() {
    qel::config::CIniConfig(home_->path()).write(qel::config::keys::Language_Type, 0);
    failText_ = "File transfer failed. CRC wrong (Calculated=$1, Received=$2)\nDuration=00:00:01";
    CFilesLoaderDlg w(home(), services());
    home_->writeFile("DisposeDir/a.PLT", tenLines());
    w.queue().sendQueueList()->append(QStringLiteral("a.PLT"));
    QTRY_VERIFY_WITH_TIMEOUT(w.queue().translatePaused(), 10000);
    auto* view = w.findChild<QTableView*>(QStringLiteral("sendQueueList"));
    QCOMPARE(view->model()->index(0, 1).data().toString(), QString::fromUtf8("失败：校验码错误（队列已暂停）"));
    QCOMPARE(w.paneText(3), QString::fromUtf8("已暂停：a.PLT 连续失败 5 次：校验码错误"));
    QTRY_VERIFY(!boxes_->texts.isEmpty());
    QCOMPARE(boxes_->texts.last(), QString::fromUtf8("队列已暂停：已暂停：a.PLT 连续失败 5 次：校验码错误\n请按“继续”接着处理。"));
    QVERIFY(qtChineseLoaded());
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QString::fromUtf8("确定"));
  }

  // Files rejected while a box is open wait, and come together in one box after it.
  void messagesComeOneBoxAtATime() {
    CFilesLoaderDlg w(home(), services());
    auto reject = [&](const char* name) {
      qel::intake::QueueFailure f;
      f.kind = qel::intake::FailureKind::NoPlotCommand, f.file = QLatin1String(name);
      emit w.queue().fileFailed(f);
    };
    boxes_->whileOpen = [&] { reject("b.plt"), reject("c.plt"); };
    reject("a.plt");
    QCOMPARE(boxes_->texts.size(), 2);
    QVERIFY(boxes_->texts[0].contains(QStringLiteral("a.plt cannot be cut: it holds no plot command.")));
    QVERIFY(boxes_->texts[1].startsWith(QStringLiteral("2 more messages:")) && boxes_->texts[1].contains(QStringLiteral("c.plt")));
  }

  // While the queue runs the commands are inert; paused, "Advanced" opens the settings (the window
  // takes the language they stored) and the rows' menus move and rename files.
  void commandsAreInertWhileTheQueueRunsAndWorkPaused() {
    CFilesLoaderDlg w(home(), services());
    int opened = 0;
    connect(&w, &CFilesLoaderDlg::settingsOpened, this, [&](QDialog* d) {
      ++opened;
      // Stored behind the settings window's back, as its Display page would.
      qel::config::CIniConfig(home_->path()).write(qel::config::keys::Language_Type, 0);
      QMetaObject::invokeMethod(d, [d] { d->reject(); }, Qt::QueuedConnection);
    });
    auto* advanced = w.findChild<QPushButton*>(QStringLiteral("advancedButton"));
    auto* pause = w.findChild<QPushButton*>(QStringLiteral("pauseButton"));
    QCOMPARE(pause->text(), QStringLiteral("Pause"));
    QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("addButton"))->isEnabled());
    home_->writeFile("CancelledDir/a_20261207_101010_001.PLT", tenLines());
    w.queue().recycleBinList()->append(QStringLiteral("a_20261207_101010_001.PLT"));
    QVERIFY(w.contextMenuFor(QueueList::RecycleBin, 0) == nullptr);
    QTest::mouseClick(advanced, Qt::LeftButton);
    QCOMPARE(opened, 0);

    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("Continue"));
    QMenu* menu = w.contextMenuFor(QueueList::RecycleBin, 0);
    QVERIFY(menu);
    menu->actions().at(1)->trigger();  // "to History"
    QVERIFY(std::filesystem::exists(home_->file("PrintedDir/a_20261207_101010_001.PLT")));
    // "Modify name" refuses an empty name and keeps its box open.
    QTimer::singleShot(0, this, [&] {
      auto* dlg = qobject_cast<CModifyName*>(QApplication::activeModalWidget());
      QVERIFY(dlg);
      auto* field = dlg->findChild<QLineEdit*>(QStringLiteral("nameField"));
      field->clear();
      dlg->accept();
      QCOMPARE(boxes_->texts.value(0), QStringLiteral("file name invalid!"));
      QVERIFY(dlg->isVisible());
      field->setText(QStringLiteral("new.plt"));
      dlg->accept();
    });
    w.contextMenuFor(QueueList::History, 0)->actions().at(0)->trigger();
    QVERIFY(std::filesystem::exists(home_->file("PrintedDir/new.plt")));
    QTest::mouseClick(advanced, Qt::LeftButton);
    QCOMPARE(opened, 1);
    // Reloaded after it closed: the window words itself in Chinese.
    QTRY_COMPARE(w.windowTitle(), QString::fromUtf8("QEL \xe5\x88\x87\xe5\x89\xb2\xe7\xb3\xbb\xe7\xbb\x9f"));
    QCOMPARE(pause->text(), QString::fromUtf8("\xe7\xbb\xa7\xe7\xbb\xad"));
  }

  void anUnreadableConfigIsSaid() {
    home_->writeFile("Config.ini", std::string("\x00\x01\x02binary\xff\xfe", 11));
    CFilesLoaderDlg w(home(), services());
    QTRY_COMPARE(boxes_->texts.size(), 1);
    QVERIFY(boxes_->texts.at(0).contains(QStringLiteral("Config.ini cannot be read")) &&
            boxes_->texts.at(0).contains(QStringLiteral("every setting has its default")));
  }
};

QTEST_MAIN(UiWindowsTest)
#include "ui_windows_test.moc"
