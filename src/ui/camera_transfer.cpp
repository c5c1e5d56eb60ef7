#include "ui/camera_transfer.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>
#include <string_view>

#include "ccd/ccd_texts.h"
#include "camera/procedures.h"
#include "camera/registration.h"
#include "config/ini_config.h"
#include "ui/capture_video.h"
#include "ui/logic/display_copy.h"
#include "ui/logic/settings_calibration.h"
#include "ui/place_keeper.h"
#include "ui/message_service.h"
#include "ui/my_view.h"
#include "ui/prompt.h"
#include "ui/settings_dlg.h"

namespace qel::ui {

namespace {
std::optional<QRectF> outlineOf(const ccd::PatternModel& pattern) {
  const auto box = pattern.outline();
  if (!box) return std::nullopt;
  return QRectF(QPointF(box->minX, box->minY), QPointF(box->maxX, box->maxY));
}
}  // namespace

using ccd::CcdControl;
using ccd::CcdState;

// The workflow's operator: every report goes to the window through the post channel; the one
// question goes through the prompter (answered on the interface thread, Cancel once closing).
class cameraTransfer::Operator final : public ccd::CcdOperator {
 public:
  Operator(std::shared_ptr<PostChannel> channel, std::shared_ptr<Prompter> prompter)
      : channel_(std::move(channel)), prompter_(std::move(prompter)) {}
  void setQuestion(const QString& title, const QString& text) {
    std::lock_guard l(m_);
    title_ = title;
    text_ = text;
  }
  bool ask(ccd::CcdQuestion) override {
    QString title, text;
    {
      std::lock_guard l(m_);
      title = title_;
      text = text_;
    }
    return prompter_->ask(title, text, true);
  }
  void tell(ccd::CcdMessage m, const std::string& detail) override {
    const QString d = QString::fromStdString(detail);
    channel_->post<cameraTransfer>([m, d](cameraTransfer* w) { w->tellOnWindow(m, d); });
  }
  void stateChanged(ccd::CcdState s) override {
    channel_->post<cameraTransfer>([s](cameraTransfer* w) { w->onState(s); });
  }
  void fileStatus(ccd::CcdFileStatus f, const std::string&) override {
    channel_->post<cameraTransfer>([f](cameraTransfer* w) { w->setFile(w->fileWords(f)); });
  }
  void residuals(const std::vector<double>& mm) override {
    channel_->post<cameraTransfer>([mm](cameraTransfer* w) { w->onResiduals(mm); });
  }
  void markMeasured(const ccd::MarkReport& r) override {
    channel_->post<cameraTransfer>([r](cameraTransfer* w) { w->onMarkReport(r); });
  }
  void jobRecognised(int sheet, const std::string& job, const std::string& path) override {
    const QString j = QString::fromStdString(job), p = QString::fromStdString(path);
    channel_->post<cameraTransfer>([sheet, j, p](cameraTransfer* w) { w->onJob(sheet, j, p); });
  }
  void sheetEnded(int sheet, ccd::SheetEnd end, const std::string&) override {
    channel_->post<cameraTransfer>([sheet, end](cameraTransfer* w) { w->onSheetEnded(sheet, end); });
  }
  void betweenPieces(int) override {
    channel_->post<cameraTransfer>([](cameraTransfer* w) {
      w->operationKey_ = ccd::kOperateReadyBetweenPiecesText;
      w->panes_[0]->setText(w->operationWords(w->state_));
    });
  }

 private:
  std::shared_ptr<PostChannel> channel_;
  std::shared_ptr<Prompter> prompter_;
  std::mutex m_;
  QString title_, text_;
};

cameraTransfer::cameraTransfer(QString home, QString plotPath, Services services, QWidget* parent)
    : QDialog(parent),
      home_(std::move(home)),
      services_(std::move(services)),
      channel_(PostChannel::make(this)),
      prompter_(std::make_shared<Prompter>(this)),
      io_(std::make_unique<QThreadPool>()),
      closing_(std::make_shared<std::atomic<bool>>(false)),
      plates_([&] {
        std::vector<std::string> files;
        for (const QString& f : services_.files) files.push_back(f.toStdString());
        if (files.empty()) files.push_back(plotPath.toStdString());
        return files;
      }(),
              services_.files.isEmpty() ? 0 : std::size_t(std::clamp(services_.current, 0, int(services_.files.size()) - 1))) {
  setObjectName(QStringLiteral("cameraTransfer"));
  io_->setMaxThreadCount(1);
  platform::Clock& clock = services_.clock ? *services_.clock : platform::SystemClock::instance();
  handler_ = std::make_unique<camera::FrameHandler>(measurement_, clock, home_.toStdString());
  const config::CIniConfig cfg(home_.toStdString());
  command_ = std::make_unique<links::CMC_Command>(services_.linkOwner);
  command_->setAddress(cfg.read(config::keys::Xitong_IP));
  if (services_.commandPort > 0) command_->setPort(services_.commandPort);
  op_ = std::make_unique<Operator>(channel_, prompter_);

  std::unique_ptr<camera::FrameSource> source =
      services_.frameSource ? services_.frameSource() : camera::makeConfiguredFrameSource(home_.toStdString());
  video_ = new captureVideo(std::move(source), *handler_, measurement_, this);
  video_->setObjectName(QStringLiteral("captureVideo"));

  ccd::CcdServices s;
  s.home = cfg.programDir();
  s.linkOwner = services_.linkOwner;
  s.links = services_.links;
  s.command = command_.get();
  s.measurement = &measurement_;
  s.cameraGrabbing = [v = video_] { return v->grabbing(); };
  s.op = op_.get();
  s.clock = services_.clock;
  workflow_ = std::make_unique<ccd::CcdWorkflow>(std::move(s), pattern_);
  controls_ = ccd::initialControls();

  buildWindow();
  retranslate();
  applyControls();
  connect(video_, &captureVideo::cameraStateChanged, this, &cameraTransfer::onCameraState);
  if (services_.openCamera) video_->open();
  // The fast flag as the controller holds it (input 46).
  auto channel = channel_;
  auto* command = command_.get();
  auto closing = closing_;
  io_->start([channel, command, closing] {
    int v = 0;
    if (closing->load() || !command->getInput(46, &v)) return;
    channel->post<cameraTransfer>([v](cameraTransfer* w) {
      w->fast_ = v != 0;
      w->retranslate();
    });
  });
  loadFile(plotPath);
}

cameraTransfer::~cameraTransfer() { shutDown(); }

void cameraTransfer::shutDown() {
  if (closed_) return;
  closed_ = true;
  closing_->store(true);
  channel_->close();
  prompter_->close();
  workflow_->stop();
  workflow_->join();
  ccd::saveCcdSettings(home_.toStdString(), workflow_->settings());
  io_->waitForDone();
  video_->close();
}

void cameraTransfer::buildWindow() {
  auto makeButton = [this](CcdControl c, QWidget* parent = nullptr) {
    auto* b = new QPushButton(parent);
    buttons_[c].push_back(b);
    return b;
  };
  view_ = new CMyView(this);
  view_->setObjectName(QStringLiteral("patternView"));
  view_->setCcdMode(true, false);
  view_->setMinimumSize(420, 320);
  connect(view_, &CMyView::patternSelected, this, [this](QPointF at) { onViewSelection(true, at); });
  connect(view_, &CMyView::patternUnselected, this, [this] { onViewSelection(false, {}); });
  connect(view_, &CMyView::statusChanged, this, [this](ViewStatus s) {
    if (s == ViewStatus::Moving) setFile(tr("File: Moving"));
    else if (s == ViewStatus::MoveFinished) setFile(tr("File: Move finished"));
  });

  // Jogging: the four arrows round the "○"; each holds its output while pressed.
  moveBox_ = new QGroupBox(this);
  auto* jogGrid = new QGridLayout(moveBox_);
  const struct {
    int output, row, col;
    const char* text;
  } jogs[] = {{40, 0, 1, "\u2227"}, {41, 2, 1, "\u2228"}, {42, 1, 0, "\uFF1C"}, {43, 1, 2, "\uFF1E"}, {58, 1, 1, "\u25CB"}};
  for (const auto& j : jogs) {
    auto* b = makeButton(CcdControl::Jog);
    b->setText(QString::fromUtf8(j.text));
    b->setFixedSize(44, 36);
    b->setAutoRepeat(false);
    jog_[j.output] = b;
    const int out = j.output;
    connect(b, &QPushButton::pressed, this, [this, out] {
      setOutputAsync(out, 1);
      // Jogged by hand: the next run starts where the operator put the head.
      if (out != 58) workflow_->headPlacedByOperator();
    });
    connect(b, &QPushButton::released, this, [this, out] { setOutputAsync(out, 0); });
    jogGrid->addWidget(b, j.row, j.col);
  }
  fastBtn_ = makeButton(CcdControl::Fast);
  manualBtn_ = makeButton(CcdControl::Manual);
  centerBtn_ = makeButton(CcdControl::Center);
  centerBtn_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  jogGrid->addWidget(fastBtn_, 0, 3);
  jogGrid->addWidget(manualBtn_, 1, 3);
  jogGrid->addWidget(centerBtn_, 2, 3);
  connect(fastBtn_, &QPushButton::clicked, this, &cameraTransfer::onFastSlow);
  connect(manualBtn_, &QPushButton::clicked, this, &cameraTransfer::onManualAuto);
  connect(centerBtn_, &QPushButton::clicked, this, [this] { workflow_->startCentring(); });

  markBox_ = new QGroupBox(this);
  auto* markColumn = new QVBoxLayout(markBox_);
  auto* markRow = new QHBoxLayout;
  markColumn->addLayout(markRow);
  startBtn_ = makeButton(CcdControl::Start);
  stopBtn_ = makeButton(CcdControl::Stop);
  markOkBtn_ = makeButton(CcdControl::MarkConfirm);
  markOkBtn_->setText(QStringLiteral(">>"));
  markRow->addWidget(startBtn_);
  markRow->addWidget(stopBtn_);
  markRow->addWidget(markOkBtn_);
  markQualityLabel_ = new QLabel(markBox_);
  markQualityLabel_->setObjectName(QStringLiteral("markQuality"));
  markColumn->addWidget(markQualityLabel_);
  connect(startBtn_, &QPushButton::clicked, this, &cameraTransfer::startRun);
  connect(stopBtn_, &QPushButton::clicked, this, [this] { workflow_->stop(); });
  connect(markOkBtn_, &QPushButton::clicked, this, &cameraTransfer::onMarkConfirm);

  adjustBox_ = new QGroupBox(this);
  auto* adjustRow = new QHBoxLayout(adjustBox_);
  autoAdjBtn_ = makeButton(CcdControl::AutoAdjust);
  manualAdjBtn_ = makeButton(CcdControl::ManualAdjust);
  adjustOkBtn_ = makeButton(CcdControl::AdjustConfirm);
  adjustOkBtn_->setText(QStringLiteral(">>"));
  adjustRow->addWidget(autoAdjBtn_);
  adjustRow->addWidget(manualAdjBtn_);
  adjustRow->addWidget(adjustOkBtn_);
  connect(autoAdjBtn_, &QPushButton::clicked, this, [this] { workflow_->startCameraAdjust(); });
  connect(manualAdjBtn_, &QPushButton::clicked, this, [this] { workflow_->manualAdjust(); });
  connect(adjustOkBtn_, &QPushButton::clicked, this, [this] { workflow_->confirmManualMark(); });

  patternBox_ = new QGroupBox(this);
  auto* patternGrid = new QGridLayout(patternBox_);
  selAllBtn_ = makeButton(CcdControl::SelectAll);
  selAllBtn_->setCheckable(true);
  reverseBtn_ = makeButton(CcdControl::Reverse);
  prevBtn_ = makeButton(CcdControl::PrevPlate);
  nextBtn_ = makeButton(CcdControl::NextPlate);
  patternGrid->addWidget(selAllBtn_, 0, 0);
  patternGrid->addWidget(reverseBtn_, 0, 1);
  patternGrid->addWidget(prevBtn_, 1, 0);
  patternGrid->addWidget(nextBtn_, 1, 1);
  // The wheel zooms the drawing only while this is on; otherwise it scrolls.
  zoomBtn_ = new QPushButton(patternBox_);
  zoomBtn_->setObjectName(QStringLiteral("wheelZoom"));
  zoomBtn_->setCheckable(true);
  patternGrid->addWidget(zoomBtn_, 2, 0, 1, 2);
  connect(zoomBtn_, &QPushButton::toggled, this, [this](bool on) { view_->setWheelZoom(on); });
  connect(selAllBtn_, &QPushButton::clicked, this, [this] {
    pattern_.toggleSelectAll();
    setFile(pattern_.selected() || pattern_.selectAll() ? tr("File: Pattern selected") : tr("File: Pattern unselected"));
    refreshView();
  });
  connect(reverseBtn_, &QPushButton::clicked, this, [this] {
    pattern_.toggleReverse();
    retranslate();
    refreshView();
  });
  connect(prevBtn_, &QPushButton::clicked, this, [this] { onPlate(false); });
  connect(nextBtn_, &QPushButton::clicked, this, [this] { onPlate(true); });

  runBox_ = new QGroupBox(this);
  auto* runGrid = new QGridLayout(runBox_);
  cutTypeLabel_ = new QLabel(runBox_);
  cutType_ = new QComboBox(runBox_);
  for (int i = 0; i <= ccd::kCutTypeAutoByCode; ++i) cutType_->addItem(QString());
  cutType_->setCurrentIndex(std::clamp(workflow_->settings().cutType, 0, ccd::kCutTypeAutoByCode));
  connect(cutType_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (i >= 0 && !workflow_->busy()) workflow_->settings().cutType = i;
  });
  setLabel_ = new QLabel(runBox_);
  setBox_ = new QComboBox(runBox_);
  buttons_[CcdControl::CalibrationSet];  // the box is enabled with the buttons (below)
  {
    CalibrationSets sets(home_.toStdString());
    sets.open();
    for (const std::string& n : sets.names()) setBox_->addItem(QString::fromStdString(n));
    setBox_->setCurrentIndex(sets.chosen());
  }
  connect(setBox_, &QComboBox::activated, this, &cameraTransfer::onCalibrationSet);
  settingsBtn_ = makeButton(CcdControl::Settings);
  saveImageBtn_ = makeButton(CcdControl::SaveImage);
  loadParaBtn_ = makeButton(CcdControl::LoadPara);
  correctBtn_ = makeButton(CcdControl::CalibrationCorrection);
  exitBtn_ = makeButton(CcdControl::Exit);
  runGrid->addWidget(cutTypeLabel_, 0, 0);
  runGrid->addWidget(cutType_, 0, 1);
  runGrid->addWidget(setLabel_, 1, 0);
  runGrid->addWidget(setBox_, 1, 1);
  runGrid->addWidget(settingsBtn_, 2, 0);
  runGrid->addWidget(saveImageBtn_, 2, 1);
  runGrid->addWidget(loadParaBtn_, 3, 0);
  runGrid->addWidget(correctBtn_, 3, 1);
  runGrid->addWidget(exitBtn_, 4, 0, 1, 2);
  connect(settingsBtn_, &QPushButton::clicked, this, &cameraTransfer::onSettings);
  connect(saveImageBtn_, &QPushButton::clicked, this, [this] { handler_->requestSave(); });
  // The calibration set is read anew, and with it the image-centre reference.
  connect(loadParaBtn_, &QPushButton::clicked, this, [this] { workflow_->reloadSettings(); });
  connect(correctBtn_, &QPushButton::clicked, this, &cameraTransfer::onCalibrationCorrection);
  connect(exitBtn_, &QPushButton::clicked, this, &cameraTransfer::requestExit);

  cameraBox_ = new QGroupBox(this);
  auto* camLayout = new QVBoxLayout(cameraBox_);
  camLayout->addWidget(video_, 1);

  // The camera above two columns of groups, so that the whole window fits a 1366 x 768 screen.
  auto* controls = new QGridLayout;
  controls->addWidget(cameraBox_, 0, 0, 1, 2);
  auto* left = new QVBoxLayout;
  left->addWidget(moveBox_);
  left->addWidget(patternBox_);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(markBox_);
  right->addWidget(adjustBox_);
  right->addWidget(runBox_);
  right->addStretch(1);
  controls->addLayout(left, 1, 0);
  controls->addLayout(right, 1, 1);
  controls->setRowStretch(0, 1);

  auto* top = new QHBoxLayout;
  top->addWidget(view_, 1);
  top->addLayout(controls);

  auto* bar = new QStatusBar(this);
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    panes_[i] = new QLabel(bar);
    bar->addWidget(panes_[i], 1);
  }
  residualLabel_ = new QLabel(bar);
  residualLabel_->setObjectName(QStringLiteral("residualLabel"));
  bar->addWidget(residualLabel_, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(top, 1);
  outer->addWidget(bar);
  // Opens where it was last closed (WindowPlaces.ini), or centred, whole on the screen.
  resize(1100, 690);
  new PlaceKeeper(this, home_, QStringLiteral("CcdCut"));
}

void cameraTransfer::retranslate() {
  setWindowTitle(pattern_.loaded() ? QString::fromStdString(pattern_.path()) : tr("CCD CUT"));
  moveBox_->setTitle(tr("Move"));
  markBox_->setTitle(tr("Mark Point"));
  adjustBox_->setTitle(tr("Adjust"));
  patternBox_->setTitle(tr("Pattern"));
  runBox_->setTitle(tr("Cut"));
  cameraBox_->setTitle(tr("Camera"));
  fastBtn_->setText(fast_ ? tr("Slow") : tr("Fast"));
  manualBtn_->setText(manualShown_ ? tr("Manual") : tr("Auto"));
  centerBtn_->setToolTip(tr("Move the mark under the camera to the centre"));
  startBtn_->setText(tr("Start"));
  stopBtn_->setText(tr("Stop"));
  autoAdjBtn_->setText(tr("Auto Adjust "));
  manualAdjBtn_->setText(tr("Manual Adjust "));
  selAllBtn_->setText(tr("Sel All"));
  reverseBtn_->setText(pattern_.reverse() ? tr("Front") : tr("Reverse"));
  zoomBtn_->setText(tr("Wheel Zoom"));
  zoomBtn_->setToolTip(tr("When on, the mouse wheel zooms the pattern; when off, it scrolls"));
  prevBtn_->setText(tr("<<Prev Plate"));
  nextBtn_->setText(tr("Next Plate>>"));
  settingsBtn_->setText(tr("Settings"));
  saveImageBtn_->setText(tr("Save Image"));
  loadParaBtn_->setText(tr("Load Para"));
  correctBtn_->setText(tr("Calibration Correction"));
  exitBtn_->setText(tr("Exit"));
  cutTypeLabel_->setText(tr("Cut type:"));
  setLabel_->setText(tr("Calibration set:"));
  const QString cutTypes[] = {tr("Print Marks"), tr("Print Patterns"), tr("Auto Multi Print"), tr("Auto Repeat Print"),
                              tr("Caculate Y-Axis Rotate"), tr("Auto (by code)")};
  for (int i = 0; i <= ccd::kCutTypeAutoByCode; ++i) cutType_->setItemText(i, cutTypes[i]);
  panes_[0]->setText(operationWords(state_));
  if (fileText_.isEmpty()) fileText_ = tr("File: Ready");
  panes_[1]->setText(fileText_);
  panes_[2]->setText(cameraGrabbing_ ? tr("Camera: Open,Grabing") : tr("Camera: Close"));
  op_->setQuestion(tr("Information"),
                   tr("Can't capture the mark point,Change to manual mode? Press 'OK' to change, Press 'Cancel' to stop"));
}

QString cameraTransfer::operationWords(CcdState) const {
  const std::string_view k = operationKey_ ? operationKey_ : ccd::kOperateOtherText;
  if (k == ccd::kOperateReadyText) return tr("Operate: Ready");
  if (k == ccd::kOperateReadyBetweenPiecesText) return tr("Operate: Ready ");
  if (k == ccd::kOperateAutoMarkingText) return tr("Operate: Auto Marking");
  if (k == ccd::kOperateMarkFinishedText) return tr("Operate: Mark finished");
  if (k == ccd::kOperateAutoAdjustingText) return tr("Operate: Auto Adjusting");
  if (k == ccd::kOperateManualMarkingText) return tr("Operate: Manual Marking");
  if (k == ccd::kOperateManualToCenterText) return tr("Operate: Manual Marking(to Center)");
  if (k == ccd::kOperateToCenterText) return tr("Operate: To Center");
  if (k == ccd::kOperateCalibrationText) return tr("Operate: Calibration correcting");
  return tr("Operate:");
}

QString cameraTransfer::fileWords(ccd::CcdFileStatus f) const {
  using F = ccd::CcdFileStatus;
  switch (f) {
    case F::Saving: return tr("File: Saving selected pattern");
    case F::SaveFinished: return tr("File: Save selected pattern finished");
    case F::SaveFailed: return tr("File: Save selected pattern failed");
    case F::SaveTmpFailed: return tr("File: Save tmp file faild");
    case F::Sending: return tr("File: Sending selected pattern");
    case F::SendFinished: return tr("File: Send selected pattern finished");
    case F::SendFailed: return tr("File: Send selected pattern failed");
  }
  return {};
}

void cameraTransfer::setFile(const QString& text) {
  fileText_ = text;
  panes_[1]->setText(text);
}

QString cameraTransfer::paneText(int pane) const { return pane >= 0 && pane < 3 ? panes_[pane]->text() : QString(); }

QPushButton* cameraTransfer::button(CcdControl c) const {
  const auto it = buttons_.find(c);
  return it == buttons_.end() || it->second.empty() ? nullptr : it->second.front();
}

QPushButton* cameraTransfer::jogButton(int output) const {
  const auto it = jog_.find(output);
  return it == jog_.end() ? nullptr : it->second;
}

void cameraTransfer::onState(CcdState s) {
  if (closed_) return;
  state_ = s;
  if (s != CcdState::AutoMarking && s != CcdState::ManualMarking && s != CcdState::AutoMarkingAfterManual &&
      s != CcdState::ManualMarkingToCenter && s != CcdState::AutoMarkingAfterCenter)
    sheetRun_ = false;
  controls_ = ccd::controlsFor(s, controls_);
  if (const char* t = ccd::operationText(s)) operationKey_ = t;
  panes_[0]->setText(operationWords(s));
  if (s == CcdState::ManualMarking && !manualShown_) {
    manualShown_ = true;
    retranslate();
  }
  applyControls();
  emit stateEntered(static_cast<int>(s));
}

void cameraTransfer::applyControls() {
  for (auto& [control, list] : buttons_) {
    const bool on = !loading_ && ccd::enabled(controls_, control);
    for (QPushButton* b : list) b->setEnabled(on);
  }
  setBox_->setEnabled(!loading_ && ccd::enabled(controls_, CcdControl::CalibrationSet));
  // The cut type is chosen while a run may start.
  cutType_->setEnabled(!loading_ && ccd::enabled(controls_, CcdControl::Start));
  // Exit stays possible while loading.
  exitBtn_->setEnabled(ccd::enabled(controls_, CcdControl::Exit));
}

void cameraTransfer::setOutputAsync(int output, int value) {
  auto* command = command_.get();
  auto closing = closing_;
  io_->start([command, closing, output, value] {
    // Repeated until the controller accepts it (a released jog must not keep the head moving).
    for (int tries = 0; tries < 50 && !closing->load(); ++tries) {
      if (command->setOutput(output, value)) return;
      QThread::msleep(100);
    }
  });
}

void cameraTransfer::onFastSlow() {
  fast_ = !fast_;
  setOutputAsync(46, fast_ ? 1 : 0);
  retranslate();
}

void cameraTransfer::onManualAuto() {
  setOutputAsync(49, manualShown_ ? 0 : 1);
  manualShown_ = !manualShown_;
  retranslate();
}

void cameraTransfer::onMarkConfirm() {
  if (!prompter_->ask(tr("Information"), tr("Press 'OK' to confirm"), true)) return;
  manualShown_ = false;
  retranslate();
  workflow_->confirmManualMark();
}

void cameraTransfer::loadFile(const QString& path) {
  if (workflow_->busy() && !sheetRun_) return;
  loading_ = true;
  applyControls();
  setFile(tr("File: Loading"));
  auto channel = channel_;
  const std::string home = home_.toStdString(), file = path.toStdString();
  QThreadPool::globalInstance()->start([channel, home, file] {
    auto model = std::make_shared<ccd::PatternModel>();
    const config::CIniConfig cfg(home);
    const ccd::PatternLoad r = model->load(file, cfg);
    channel->post<cameraTransfer>([model, r](cameraTransfer* w) { w->onLoaded(model, r); });
  });
}

void cameraTransfer::onLoaded(std::shared_ptr<ccd::PatternModel> model, ccd::PatternLoad result) {
  loading_ = false;
  // A run by job code cuts from its own copy of each job: the view only shows it.
  if (result == ccd::PatternLoad::Loaded && (!workflow_->busy() || sheetRun_)) {
    pattern_ = std::move(*model);
    copy_ = std::make_shared<const DisplayCopy>(pattern_.strokes());
    view_->setDisplay(copy_);
    view_->setOutline(outlineOf(pattern_));
    setFile(tr("File: Load finished"));
  } else if (result == ccd::PatternLoad::NotExist) {
    setFile(tr("File: Not exist"));
  } else if (result == ccd::PatternLoad::FormatError) {
    setFile(tr("File: Format error, Load failed"));
  }
  selAllBtn_->setChecked(pattern_.selectAll());
  refreshView();
  retranslate();
  applyControls();
  emit patternLoaded(result == ccd::PatternLoad::Loaded);
}

void cameraTransfer::refreshView() {
  RenderOptions o = view_->renderOptions();
  o.plate = pattern_.loaded() ? pattern_.plate() : -1;
  o.plateWidth = pattern_.pageWidthMm() * 40.0;
  o.marking = true;
  if (const auto range = pattern_.selectionRange()) {
    o.markFrom = int(range->first);
    o.markTo = int(range->second);
  } else {
    o.markFrom = INT_MAX;
    o.markTo = INT_MAX;
  }
  o.markPen = pattern_.markPen();
  o.crossMarks.assign(pattern_.markCount(), false);
  for (std::size_t i = 0; i < pattern_.markCount(); ++i) o.crossMarks[i] = pattern_.isCrossMark(i);
  view_->setSelected(pattern_.selected());
  view_->setReverse(pattern_.reverse());
  view_->setRenderOptions(o);
}

void cameraTransfer::onViewSelection(bool selected, QPointF at) {
  // While a job runs the selection it uses stays as it is.
  const bool changed = pattern_.loaded() && !workflow_->busy() &&
                       (selected ? pattern_.pressAt({at.x(), at.y()}) : pattern_.unselect());
  if (changed && !closing_->load()) setFile(selected ? tr("File: Pattern selected") : tr("File: Pattern unselected"));
  refreshView();
}

void cameraTransfer::onPlate(bool next) {
  const ccd::PlateFiles::Step step = next ? plates_.next() : plates_.previous();
  if (step == ccd::PlateFiles::Step::AtLast) {
    information(this, tr("Tip"), tr("This file is the last one!"));
    return;
  }
  if (step == ccd::PlateFiles::Step::AtFirst) {
    information(this, tr("Tip"), tr("This file is the first one!"));
    return;
  }
  loadFile(QString::fromStdString(plates_.current()));
}

void cameraTransfer::onSettings() {
  CSettingDlg dlg(home_, this);
  dlg.exec();
  workflow_->reloadSettings();
  const QSignalBlocker block(cutType_);
  cutType_->setCurrentIndex(std::clamp(workflow_->settings().cutType, 0, ccd::kCutTypeAutoByCode));
  retranslate();
  refreshView();
}

void cameraTransfer::startRun() {
  sheetRun_ = workflow_->settings().cutType == ccd::kCutTypeAutoByCode;
  markQualityLabel_->clear();
  if (!workflow_->startMarkingRun()) sheetRun_ = false;
}

void cameraTransfer::onMarkReport(const ccd::MarkReport& r) {
  QString text = r.skipped ? tr("Mark %1: not found, left out").arg(r.index + 1)
                           : tr("Mark %1: confidence %2").arg(r.index + 1).arg(r.quality.confidence(), 0, 'f', 2);
  if (!r.skipped && r.remeasured) text += QLatin1Char(' ') + tr("(measured again)");
  if (!r.skipped && r.searchSteps > 0) text += QLatin1Char(' ') + tr("(found by searching)");
  markQualityLabel_->setText(text);
  markQualityLabel_->setToolTip(tr("Contrast %1, roundness %2, fit %3")
                                    .arg(r.quality.contrast, 0, 'f', 2)
                                    .arg(r.quality.roundness, 0, 'f', 2)
                                    .arg(r.quality.fit, 0, 'f', 2));
}

void cameraTransfer::onJob(int sheet, const QString& job, const QString& path) {
  loadFile(path);
  setFile(tr("Sheet %1: job %2").arg(sheet).arg(job));
}

void cameraTransfer::onSheetEnded(int sheet, ccd::SheetEnd end) {
  if (end == ccd::SheetEnd::Cut) setFile(tr("Sheet %1: cut").arg(sheet));
  else if (end == ccd::SheetEnd::Skipped) setFile(tr("Sheet %1: skipped").arg(sheet));
}

void cameraTransfer::onCalibrationCorrection() {
  if (!question(this, tr("Information"), tr("Are you sure to Corretion the Calibration ratio?"), true)) return;
  workflow_->startRatioCorrection();
}

void cameraTransfer::onCalibrationSet(int index) {
  if (index < 0 || workflow_->busy()) return;
  {
    config::CIniConfig cfg(home_.toStdString());
    cfg.write(config::keys::cur, index);
  }
  workflow_->reloadSettings();
}

void cameraTransfer::onCameraState(bool grabbing, bool failed) {
  cameraGrabbing_ = grabbing;
  panes_[2]->setText(grabbing ? tr("Camera: Open,Grabing") : tr("Camera: Close"));
  if (failed) warning(this, tr("Error"), tr("something is wrong with your camera, please check!"));
}

void cameraTransfer::onResiduals(const std::vector<double>& mm) {
  residuals_ = mm;
  QStringList parts;
  for (std::size_t i = 0; i < mm.size(); ++i) parts << QStringLiteral("%1: %2").arg(i + 1).arg(mm[i], 0, 'f', 3);
  residualLabel_->setText(tr("Mark residuals (mm): %1").arg(parts.join(QStringLiteral("  "))));
}

void cameraTransfer::tellOnWindow(ccd::CcdMessage m, const QString& detail) {
  using M = ccd::CcdMessage;
  const std::string d = detail.toStdString();
  QString text;
  if (m == M::MarkResidual && !residuals_.empty()) {
    // The worst mark, worded here from the residuals reported just before.
    std::size_t worst = 0;
    for (std::size_t i = 1; i < residuals_.size(); ++i)
      if (!(residuals_[i] <= residuals_[worst])) worst = i;
    text = tr("Mark %1 is %2 mm off the corrected pattern (limit %3 mm): the pattern was not sent.")
               .arg(worst + 1)
               .arg(residuals_[worst], 0, 'f', 3)
               .arg(workflow_->settings().maxMarkResidualMm, 0, 'f', 3);
    warning(this, tr("Error"), text);
    return;
  }
  // Texts of the procedures and the registration come as their English originals.
  if (d == camera::kNoMarkText) text = tr("Can't capture the mark point!");
  else if (d == camera::kThreeMarksText) text = tr("Three mark points can't give both scales: please use 2 or at least 4 mark points!");
  else if (d == camera::kTooFewMarksText) text = tr("Please make sure the selected pattern has more than 2 mark points!");
  else if (d == camera::kMoreCornerText) text = tr("Please move the mark point to more corner place!");
  else if (d == camera::kCorrectionFailedText) text = tr("Correction Failed!");
  else if (d == camera::kCorrectionOkText) text = tr("Correction Successfully!");
  else if (d == camera::kAdjustOkText) text = tr("Adjust OK!");
  else if (d == camera::kAdjustLimitsText) text = tr("Params is out of Limits, Adjust Failed!");
  else if (d == camera::kHeadReadText) text = tr("Can't read the machine position!");
  else if (d == camera::kHeadMoveText) text = tr("The machine doesn't accept the move command!");
  else if (d == camera::kHeadArriveText) text = tr("The machine didn't reach the position!");
  else if (m == M::FirstMarkFar)
    text = tr("The first mark was found too far from its place: it is not used. Put the head over the sheet's first "
              "mark and start again.");
  else if (m == M::UnknownJob) text = tr("The sheet's code names no job in the job folder.");
  else if (m == M::NoCode) text = tr("No job code was found beside the first mark.");
  else if (m == M::FeedFailed) text = tr("The sheet feeder did not answer.");
  else if (m == M::MarksMissing) text = tr("Too few marks were found to fit the pattern.");
  else if (!detail.isEmpty()) text = detail;
  else {
    switch (m) {
      case M::TooFewMarks: text = tr("Please make sure the selected pattern has more than 2 mark points!"); break;
      case M::OutOfBlock: text = tr("Machine going to out of  block, Forced stop it."); break;
      case M::CantCaptureMark: text = tr("Can't capture the mark point!"); break;
      case M::CreateHandleFailed: text = tr("Create adjust handle failed!"); break;
      case M::SaveFileFailed: text = tr("save file failed!"); break;
      case M::Procedure:
      case M::Head:
      case M::MarkResidual:
      case M::FirstMarkFar:
      case M::UnknownJob:
      case M::NoCode:
      case M::FeedFailed:
      case M::MarksMissing: return;
    }
  }
  if (m == M::OutOfBlock) warning(this, tr("Error"), text);
  else information(this, tr("Information"), text);
}

bool cameraTransfer::requestExit() {
  if (!question(this, tr("Tip"), tr("Are you sure to exit the CCD CUT mode?"), true)) return false;
  shutDown();
  done(QDialog::Accepted);
  return true;
}

void cameraTransfer::reject() { requestExit(); }

void cameraTransfer::closeEvent(QCloseEvent* e) {
  if (closed_) {
    e->accept();
    return;
  }
  e->ignore();
  requestExit();
}

}  // namespace qel::ui
