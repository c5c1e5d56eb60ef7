// The settings pages' rules without widgets: list entries, enable rules, the rotation
// normalisation, what "Save" stores, the camera checks and the calibration set editing, each
// read back from a real Config.ini in a temporary home.
#include <QtTest>

#include "config/ini_config.h"
#include "support/temp_home.h"
#include "ui/logic/settings_calibration.h"
#include "ui/logic/settings_camera.h"
#include "ui/logic/settings_process.h"

#include <array>
#include <initializer_list>
#include <optional>

using namespace qel::ui;
using qel::config::CIniConfig;
namespace k = qel::config::keys;

namespace {

std::string raw(const qel::test::TempHome& home, const char* section, const char* key) {
  return CIniConfig(home.path()).readText(section, key, "<absent>");
}

// Each section, key and the text Config.ini holds for it.
void expectStored(const qel::test::TempHome& home, std::initializer_list<std::array<const char*, 3>> rows) {
  for (const auto& [section, key, text] : rows) QCOMPARE(raw(home, section, key), std::string(text));
}

// The pages as a new home shows them: every field within its rule.
ProcessForm validProcess() {
  const qel::test::TempHome home;
  return loadProcess(CIniConfig(home.path()));
}

CameraForm validCamera() {
  const qel::test::TempHome home;
  CameraForm f = loadCamera(CIniConfig(home.path()));
  f.missingCode = SheetFault::SkipSheet;
  return f;
}

CalibrationTexts valuesWith(double fx) {
  CalibrationTexts t;
  t.fill("0");
  t[0] = CIniConfig::formatReal(fx);
  return t;
}

// One field of a form broken per row: the refusal names it with its problem (none for a fine
// value), and a save into a fresh home stores only when nothing is refused.
template <class Form>
struct FieldRow {
  const char* field;
  std::string Form::*member;
  const char* text;
  FieldProblem problem;
};

template <class Form, class Refuse, class Save>
void checkFieldRows(const Form& valid, Refuse refuse, Save save, std::initializer_list<FieldRow<Form>> rows) {
  for (const FieldRow<Form>& r : rows) {
    Form form = valid;
    form.*r.member = r.text;
    const std::optional<FieldRefusal> refusal = refuse(form);
    qel::test::TempHome home;
    CIniConfig cfg(home.path());
    const std::string before = home.readFile("Config.ini");
    const bool stored = save(cfg, form) || home.readFile("Config.ini") != before;
    const std::string name = std::string(r.field) + " " + r.text;
    QVERIFY2(stored == (r.problem == FieldProblem::None), name.c_str());
    QVERIFY2(refusal.has_value() == (r.problem != FieldProblem::None), name.c_str());
    if (refusal) QVERIFY2(refusal->field == r.field && refusal->problem == r.problem, name.c_str());
  }
}

}  // namespace

class SettingsLogicTest : public QObject {
  Q_OBJECT
 private slots:
  void listEntriesMapToStoredValues() {
    QCOMPARE(typeEntryOf(1), 1);  // parallel port: not offered, shows the ARM entry
    QCOMPARE(typeEntryOf(99), 1);
    QCOMPARE(splitEntryOf(2), -1);
    QCOMPARE(splitEntryOf(10), -1);
    QCOMPARE(cutFtOfSplitEntry(-1), 3);
    QCOMPARE(sheetFaultOf(2), SheetFault::StopRun);  // only 1 skips, as the run reads it
  }

  void fontRotateIsBroughtIntoHalfTurn() {
    const double huge = std::fmod(3.6e300, 360.0);
    const std::pair<double, double> rows[] = {{370, 10},    {200, -160},    {-200, 160},   {720, 0},
                                              {540, 180},   {-540, -180},   {180, 180},    {-725.5, -5.5},
                                              {3.6e300, huge - (huge > 180 ? 360 : 0)}, {qInf(), 0}, {qQNaN(), 0}};
    for (const auto& [in, out] : rows) {
      const double got = normaliseFontRotate(in);
      QVERIFY2(got == out && (!std::signbit(got) || got != 0.0), qPrintable(QString::number(in)));  // never -0.000000
    }
  }

  void enableRulesFollowModeAndTicks() {
    ProcessForm f = validProcess();
    f.splitEntry = splitEntryOf(static_cast<int>(SplitMode::Rolling));
    ProcessEnables e = processEnables(f);
    QVERIFY(e.detal && !e.outerContours && !e.spn && !e.arcLength);
    f.splitEntry = splitEntryOf(static_cast<int>(SplitMode::Contour));
    e = processEnables(f);
    QVERIFY(!e.detal && e.outerContours && !e.spn);
    f.outerContours = f.transformCi = true;
    e = processEnables(f);
    QVERIFY(e.spn && e.arcLength);
    f.splitEntry = -1;
    QVERIFY(!processEnables(f).spn);
  }

  void processSaveStoresConvertedValues() {
    qel::test::TempHome home;
    CIniConfig cfg(home.path());
    ProcessForm f = validProcess();
    f.typeEntry = 1;
    f.splitEntry = -1;
    f.spn = "7";
    f.fontScale = "1.25";
    f.fontRotate = "370";
    f.arcLength = " 30 ";
    f.resumeMaxWait = "600";
    QCOMPARE(saveProcess(cfg, f), ProcessSave::Stored);
    expectStored(home, {{"Transfer_Config", "Xitong_TT", "4"}, {"Split_Page", "CUT_FT", "3"}, {"Contour", "SPN", "7"},
                        {"Optimize", "Font_Scale", "1.250000"}, {"Optimize", "Font_Rotate", "10.000000"},
                        {"Optimize", "ArcLen", "30"}, {"Transfer_Config", "Resume_MaxWait", "600"}});
  }

  // Every numeric field takes only a number within its rule; the first field that breaks its rule
  // is named, and nothing is stored. Each row breaks one field of an otherwise valid page.
  void everyNumericFieldIsCheckedAgainstItsRule() {
    using P = FieldProblem;
    const P letters = P::NotANumber, small = P::TooSmall, large = P::TooLarge, empty = P::Empty, whole = P::NotWhole,
            fine = P::None;
    ProcessForm process = validProcess();
    process.splitEntry = splitEntryOf(int(SplitMode::Contour));
    process.outerContours = process.weedBox = true;
    process.knifeOffset = "0.5";
    ProcessForm rolling = process;
    rolling.splitEntry = splitEntryOf(int(SplitMode::Rolling));
    CameraForm camera = validCamera();
    camera.target = TargetType::Circle;
    const auto saveProcessForm = [](CIniConfig& cfg, const ProcessForm& f) { return saveProcess(cfg, f) == ProcessSave::Stored; };
    const auto saveCameraForm = [](CIniConfig& cfg, const CameraForm& f) { return saveCamera(cfg, f) == CameraCheck::Accepted; };
#define PROCESS(f) #f, &ProcessForm::f
#define CAMERA(f) #f, &CameraForm::f
    checkFieldRows<ProcessForm>(process, processRefusal, saveProcessForm, {
        {PROCESS(fontScale), "abc", letters}, {PROCESS(fontScale), "0", small}, {PROCESS(fontScale), "100", fine},
        {PROCESS(fontScale), "1e3", letters}, {PROCESS(fontSp), "1.5", whole}, {PROCESS(fontSp), "0", small},
        {PROCESS(fontSp), "", empty}, {PROCESS(fontSpace), "-100.5", small}, {PROCESS(fontRotate), "3601", large},
        {PROCESS(fontOffsetX), "-10001", small}, {PROCESS(fontOffsetY), "x1", letters}, {PROCESS(arcLength), "0", small},
        {PROCESS(arcLength), "-5", small}, {PROCESS(spn), "100", large}, {PROCESS(knifeOffset), "-0.1", small},
        {PROCESS(knifeCornerAngle), "181", large}, {PROCESS(overcut), "50.01", large}, {PROCESS(weedMargin), "-1", small},
        {PROCESS(weedPen), "0", small}, {PROCESS(maxMarkResidual), "nan", letters}, {PROCESS(settleMs), "60001", large},
        {PROCESS(settleMs), "0", fine}, {PROCESS(resumeFirstWait), "1.5", whole}, {PROCESS(resumeFirstWait), "3601", large},
        {PROCESS(resumeMaxWait), "-1", small}, {PROCESS(resumeMaxWait), "3600", fine}});
    checkFieldRows<ProcessForm>(rolling, processRefusal, saveProcessForm,
                                {{PROCESS(detalX), "1001", large}, {PROCESS(detalY), "--1", letters}});
    checkFieldRows<CameraForm>(camera, cameraRefusal, saveCameraForm, {
        {CAMERA(cameraCx), "1000.5", large}, {CAMERA(cameraCy), "abc", letters}, {CAMERA(markTime), "0", small},
        {CAMERA(markTime), "21", large}, {CAMERA(radius), "0", small}, {CAMERA(tolerance), "-1", small},
        {CAMERA(markSp), "8.5", whole}, {CAMERA(blockXLow), "-100001", small}, {CAMERA(blockYHigh), "1e9", letters},
        {CAMERA(speed), "-500", small}, {CAMERA(speed), "0", small}, {CAMERA(captureDelay), "60001", large},
        {CAMERA(axisYRotate), "181", large}, {CAMERA(searchRadius), "0.5", small}, {CAMERA(searchRadius), "500", fine},
        {CAMERA(minConfidence), "1.01", large}, {CAMERA(minConfidence), "0", fine}, {CAMERA(centreTolerance), "240.5", large},
        {CAMERA(standStill), "0", small}, {CAMERA(standStill), "2.5", whole}, {CAMERA(segmentLength), "-1", small},
        {CAMERA(feedTimeout), "999", small}, {CAMERA(feedTimeout), "600001", large}});
#undef PROCESS
#undef CAMERA
  }

  void cameraChecksInOrderAndAtTheirLimits() {
    const struct { const char *name, *xLow, *xHigh, *yLow, *yHigh, *accel; CameraCheck check; } rows[] = {
        {"equal blocks", "500", "500", "7", "7", "3000", CameraCheck::Accepted},
        {"accel 1000", "0", "1", "0", "1", "1000", CameraCheck::Accepted},
        {"accel 5000", "0", "1", "0", "1", "5000", CameraCheck::Accepted},
        {"accel 999", "0", "1", "0", "1", "999", CameraCheck::AccelOutOfRange},
        {"accel 5001", "0", "1", "0", "1", "5001", CameraCheck::AccelOutOfRange},
        {"accel text", "0", "1", "0", "1", "fast", CameraCheck::AccelOutOfRange},
        {"x reversed first", "10", "9.5", "10", "9", "1", CameraCheck::BlockXReversed},
        {"y reversed", "0", "1", "10", "9.99", "1", CameraCheck::BlockYReversed},
    };
    for (const auto& row : rows) {
      qel::test::TempHome home;
      CIniConfig cfg(home.path());
      const std::string before = home.readFile("Config.ini");
      CameraForm f = validCamera();
      f.target = TargetType::Cross;
      f.blockXLow = row.xLow, f.blockXHigh = row.xHigh, f.blockYLow = row.yLow, f.blockYHigh = row.yHigh;
      f.accel = row.accel;
      QVERIFY2(saveCamera(cfg, f) == row.check, row.name);
      if (row.check != CameraCheck::Accepted) {
        QVERIFY2(home.readFile("Config.ini") == before, row.name);  // not even markType
      } else {
        expectStored(home, {{"Camera", "markType", "1"}, {"Machine", "MoveAccel", row.accel}, {"CCD", "MissingCode", "1"}});
      }
    }
  }

  // The job folder is written only when it names another folder than the store gives, so an
  // untouched default stays a default (and follows the home folder).
  void jobFolderIsWrittenOnlyWhenChanged() {
    const std::optional<std::string> kUntouched;
    const std::pair<std::optional<std::string>, std::string> rows[] = {
        {kUntouched, "<absent>"}, {" /srv/jobs ", "/srv/jobs"}, {"", ""}};
    for (const auto& [typed, stored] : rows) {
      qel::test::TempHome home;
      CIniConfig cfg(home.path());
      CameraForm f = validCamera();
      f.jobDir = typed.value_or(loadCamera(cfg).jobDir);
      QCOMPARE(saveCamera(cfg, f), CameraCheck::Accepted);
      QCOMPARE(raw(home, "CCD", "JobDir"), stored);
      if (stored.empty()) QCOMPARE(cfg.read(k::JobDir), cfg.programDir() + "Jobs");  // reads as the default
    }
  }

  void deletingMovesLaterSetsDownAndKeepsTheSetInUseOrTheNewLast() {
    qel::test::TempHome home;
    CIniConfig cfg(home.path());
    cfg.write(k::num, 4), cfg.write(k::cur, 3);
    for (int i = 0; i < 4; ++i) cfg.writeBoardName(i, "board" + std::to_string(i)), cfg.writeCameraPara(i, 1, 1, 1000.0 + i);
    CalibrationSets sets(home.path());
    QCOMPARE(sets.open()[0], std::string("1003.000000"));  // cur is chosen
    QCOMPARE(sets.chosen(), 3);
    sets.choose(1);
    CalibrationTexts shown;
    QVERIFY(sets.removeChosen(shown));
    QCOMPARE(sets.chosen(), 1);
    QCOMPARE(shown[0], std::string("1002.000000"));
    // The set in use is still the one it named.
    expectStored(home, {{"Camera_BD", "name2", "board3"}, {"Camera_Para2", "INTRINSIC1", "1003.000000"}, {"Camera_BD", "cur", "2"}});
    QCOMPARE(sets.beginAdd()[0], std::string("100.000000"));  // the vacated place is a new set again
    sets.choose(2);  // deleting the last chooses the new last
    QVERIFY(sets.removeChosen(shown));
    QCOMPARE(sets.chosen(), 1);
    QCOMPARE(raw(home, "Camera_BD", "num"), std::string("2"));
    while (!sets.names().empty()) QVERIFY(sets.removeChosen(shown));
    QCOMPARE(sets.chosen(), -1);
    QVERIFY(!sets.removeChosen(shown));
    QCOMPARE(raw(home, "Camera_BD", "num"), std::string("0"));
  }

  void addAndEditStoreNamesAndValues() {
    qel::test::TempHome home;
    CalibrationSets sets(home.path());
    sets.open();
    QCOMPARE(sets.confirm("x", valuesWith(1)), CalibrationSets::Confirm::NotEditing);
    sets.beginAdd();
    QCOMPARE(sets.confirm("   ", valuesWith(1)), CalibrationSets::Confirm::EmptyName);
    QCOMPARE(sets.mode(), CalibrationMode::Add);
    QCOMPARE(sets.confirm("  left camera ", valuesWith(812.5)), CalibrationSets::Confirm::Done);
    QCOMPARE(sets.chosen(), 5);
    expectStored(home, {{"Camera_BD", "num", "6"}, {"Camera_BD", "name5", "left camera"}, {"Camera_Para5", "INTRINSIC1", "812.500000"}});

    sets.choose(2);
    QCOMPARE(*sets.beginEdit(), std::string("M_2"));
    QCOMPARE(sets.confirm("M_2", valuesWith(5)), CalibrationSets::Confirm::Done);
    expectStored(home, {{"Camera_BD", "name2", "<absent>"}, {"Camera_Para2", "INTRINSIC1", "5.000000"}});  // unchanged name not written
    sets.beginEdit();
    QCOMPARE(sets.confirm("front", valuesWith(6)), CalibrationSets::Confirm::Done);
    QCOMPARE(raw(home, "Camera_BD", "name2"), std::string("front"));
  }

  void autoLoadReadsSetZeroOfTheCalibrationFileOnly() {
    qel::test::TempHome home;
    CalibrationSets sets(home.path());
    sets.open();
    QVERIFY(!sets.autoLoad());  // no calibration file: nothing, not defaults
    home.writeFile("calibration/Config.ini",
                   "[Camera_BD]\r\ncur=2\r\n[Camera_Para0]\r\nINTRINSIC1=1234.5\r\nRATIO1=0.99\r\n"
                   "[Camera_Para2]\r\nINTRINSIC1=7\r\n");
    const std::string before = home.readFile("Config.ini");
    const auto loaded = sets.autoLoad();
    QVERIFY(loaded);
    QCOMPARE((*loaded)[0], std::string("1234.500000"));
    QCOMPARE((*loaded)[20], std::string("0.990000"));  // ratio_X is RATIO1
    QCOMPARE(home.readFile("Config.ini"), before);  // stored only when the page is saved
    sets.store(*loaded);
    expectStored(home, {{"Camera_Para0", "INTRINSIC1", "1234.500000"}, {"Camera_BD", "cur", "0"}});
  }

  void brokenCountsStayBounded() {
    qel::test::TempHome home;
    home.writeFile("Config.ini", "[Camera_BD]\nnum=2000000000\ncur=-4\n");
    CalibrationSets sets(home.path());
    sets.open();
    QCOMPARE(int(sets.names().size()), kMaxCalibrationSets);
    QCOMPARE(sets.chosen(), 0);  // cur names no set
    home.writeFile("Config.ini", "[Camera_BD]\nnum=-3\n");
    sets.open();
    QVERIFY(sets.names().empty());
    QCOMPARE(sets.chosen(), -1);
    QVERIFY(!sets.beginEdit());
  }
};

QTEST_MAIN(SettingsLogicTest)
#include "settings_logic_test.moc"
