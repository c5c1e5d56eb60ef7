// The settings window driven through its real widgets under the offscreen platform: fields are
// typed into, lists chosen and buttons clicked, and what "Save" stored is read back from the
// real Config.ini of a temporary home.
#include <QtTest>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "config/ini_config.h"
#include "config/language.h"
#include "support/temp_home.h"
#include "ui/language.h"
#include "ui/marks_choose.h"
#include "ui/message_service.h"
#include "ui/settings_dlg.h"

using qel::config::CIniConfig;
using qel::ui::CSettingDlg;
using qel::ui::RecordingMessages;

namespace {

std::string raw(const qel::test::TempHome& home, const char* section, const char* key) {
  return CIniConfig(home.path()).readText(section, key, "<absent>");
}

const std::string kEnglish = "[Language_ID]\nLanguage_Type=1\n";  // the start of every Config.ini here

template <class W>
W* child(QWidget& dlg, const char* name) {
  W* w = dlg.findChild<W*>(QString::fromLatin1(name));
  if (!w) qFatal("no widget %s", name);
  return w;
}

void type(QWidget& dlg, const char* field, const QString& text) {
  QLineEdit* f = child<QLineEdit>(dlg, field);
  f->selectAll();
  QTest::keyClicks(f, text);
  QCOMPARE(f->text(), text);
}

void click(QWidget& dlg, const char* button) { QTest::mouseClick(child<QPushButton>(dlg, button), Qt::LeftButton); }

void choose(QWidget& dlg, const char* list, int entry) { child<QComboBox>(dlg, list)->setCurrentIndex(entry); }

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { qel::ui::applyLanguage(1); }

  // The enable rules are the pages' own; here only that the widgets follow them.
  void fieldsFollowTheEnableRules() {
    qel::test::TempHome home;
    home.writeFile("Config.ini", kEnglish + "[Split_Page]\nCUT_FT=4\n");
    CSettingDlg dlg(QString::fromStdString(home.path()));
    dlg.show();
    auto* detalX = child<QLineEdit>(dlg, "detalX");
    auto* corner = child<QLineEdit>(dlg, "knifeCornerAngle");
    QVERIFY(!detalX->isEnabled() && !corner->isEnabled());
    choose(dlg, "split", 2);  // "Rolling Split"
    QVERIFY(detalX->isEnabled());
    type(dlg, "knifeOffset", QStringLiteral("0.35"));
    QVERIFY(corner->isEnabled());
    choose(dlg, "targetType", 1);
    QVERIFY(!child<QLineEdit>(dlg, "radius")->isEnabled());
  }

  // Letters never get into a numeric field; a value out of range is refused by Save with the
  // field's name and why, the page comes to the front, and nothing at all is stored (not even the
  // language chosen on another page).
  void numericFieldsTakeNoLettersAndARefusedSaveStoresNothing() {
    qel::test::TempHome home;
    home.writeFile("Config.ini", kEnglish + "[Optimize]\nTranCI=0\n");
    const std::string before = home.readFile("Config.ini");
    RecordingMessages messages;
    CSettingDlg dlg(QString::fromStdString(home.path()));
    dlg.show();
    int numeric = 0;
    for (QLineEdit* f : dlg.findChildren<QLineEdit*>()) {
      if (!f->validator() || !f->isEnabled()) continue;
      ++numeric;
      const QString was = f->text();
      f->selectAll();
      QTest::keyClicks(f, QStringLiteral("abc"));
      QVERIFY2(f->text() == was || f->text().isEmpty(), qPrintable(f->objectName()));
      f->setText(was);
    }
    QVERIFY(numeric >= 30);  // both pages, the calibration values among them

    child<QLineEdit>(dlg, "arcLength")->setText(QStringLiteral("0"));  // disabled: not typeable
    type(dlg, "fontRotate", QStringLiteral("45"));
    choose(dlg, "language", 0);
    dlg.showPage(CSettingDlg::Page::Display);
    click(dlg, "save");
    QVERIFY(dlg.isVisible());
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Arc Length must be a whole number from 1 to 10000.")});
    QCOMPARE(messages.titles, QStringList{QStringLiteral("Error")});
    QCOMPARE(child<QTabWidget>(dlg, "pages")->currentIndex(), 0);
    QVERIFY(home.readFile("Config.ini") == before);
    QCOMPARE(qel::config::languageFlag(), 1);

    // A refusal on the other page brings that page to the front; mended, Save stores it all.
    child<QLineEdit>(dlg, "arcLength")->setText(QStringLiteral("2"));
    type(dlg, "speed", QStringLiteral("0"));
    click(dlg, "save");
    QCOMPARE(messages.texts.value(1), QStringLiteral("Speed must be a whole number from 1 to 100000."));
    QCOMPARE(child<QTabWidget>(dlg, "pages")->currentIndex(), 1);
    QVERIFY(home.readFile("Config.ini") == before);
    type(dlg, "speed", QStringLiteral("750"));
    click(dlg, "save");
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(raw(home, "Language_ID", "Language_Type"), std::string("0"));
  }

  // Cancel stores nothing; Save stores what was typed and chosen (the stored forms are the pages'
  // rules), the window opened again shows it, and a language saved rewords every open window.
  void cancelStoresNothingAndALanguageSavedRewordsEveryOpenWindow() {
    qel::test::TempHome home;
    home.writeFile("Config.ini", kEnglish);
    const std::string before = home.readFile("Config.ini");
    qel::ui::MarksChoose other(QImage(), {}, 30);  // stands for any other open window
    other.show();
    for (const char* button : {"cancel", "save"}) {
      CSettingDlg dlg(QString::fromStdString(home.path()));
      dlg.show();
      type(dlg, "fontRotate", QStringLiteral("90"));
      choose(dlg, "type", 2);
      choose(dlg, "language", 0);
      click(dlg, button);
      if (QByteArray(button) == "cancel") {
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(home.readFile("Config.ini"), before);
        QCOMPARE(qel::config::languageFlag(), 1);
      }
    }
    QCOMPARE(raw(home, "Language_ID", "Language_Type"), std::string("0"));
    QCOMPARE(raw(home, "Optimize", "Font_Rotate"), std::string("90.000000"));
    QCOMPARE(raw(home, "Transfer_Config", "Xitong_TT"), std::string("5"));
    QTRY_COMPARE(other.windowTitle(), QString::fromUtf8("请从这些定位点中选择一个"));
    CSettingDlg again(QString::fromStdString(home.path()));
    QCOMPARE(again.windowTitle(), QString::fromUtf8("高级设置"));
    QCOMPARE(child<QComboBox>(again, "language")->currentIndex(), 0);
    QCOMPARE(child<QLineEdit>(again, "fontRotate")->text(), QStringLiteral("90.000000"));
  }


  void everyTextFitsAtTheSmallestSizeInBothLanguages() {
    for (int language : {1, 0}) {
      qel::test::TempHome home;
      home.writeFile("Config.ini", "[Language_ID]\nLanguage_Type=" + std::to_string(language) + "\n");
      CSettingDlg dlg(QString::fromStdString(home.path()));
      dlg.show();
      auto* tabs = child<QTabWidget>(dlg, "pages");
      for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        dlg.resize(dlg.minimumSizeHint());
        QTRY_COMPARE(dlg.size(), dlg.minimumSizeHint());
        QVERIFY(tabs->currentWidget()->width() >= tabs->width() - 12);  // the page fills the tab area
        for (QWidget* w : tabs->currentWidget()->findChildren<QWidget*>()) {
          if (!w->isVisible() ||
              !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w)))
            continue;
          const QString what = w->objectName() + QLatin1Char(' ') +
                               (qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text() : QString());
          QVERIFY2(w->width() >= w->minimumSizeHint().width(), qPrintable(what));
          QVERIFY2(w->height() >= w->minimumSizeHint().height(), qPrintable(what));
        }
        // Larger, the page grows with the window.
        const int before = tabs->currentWidget()->width();
        dlg.resize(dlg.width() + 200, dlg.height() + 100);
        QTRY_COMPARE(tabs->currentWidget()->width(), before + 200);
      }
    }
  }


  // The calibration sets' rules are the page logic's; here the buttons reach them.
  void calibrationSetsThroughTheButtons() {
    qel::test::TempHome home;
    home.writeFile("Config.ini", kEnglish + "[Camera_BD]\nnum=3\ncur=2\n");
    RecordingMessages messages;
    CSettingDlg dlg(QString::fromStdString(home.path()));
    dlg.show();
    dlg.showPage(CSettingDlg::Page::CameraMachine);
    auto* sets = child<QComboBox>(dlg, "calibrationSet");
    QCOMPARE(sets->currentIndex(), 2);
    click(dlg, "add");
    QVERIFY(!sets->isVisible());
    click(dlg, "ok");
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Name can't be empty !")});
    type(dlg, "calibrationName", QStringLiteral("roll"));
    type(dlg, "fx", QStringLiteral("900.25"));
    click(dlg, "ok");
    QCOMPARE(sets->currentText(), QStringLiteral("roll"));
    QCOMPARE(raw(home, "Camera_Para3", "INTRINSIC1"), std::string("900.250000"));
    // Cancel of an edit leaves the name alone.
    sets->setCurrentIndex(0);
    click(dlg, "edit");
    QCOMPARE(child<QLineEdit>(dlg, "calibrationName")->text(), QStringLiteral("M_0"));
    type(dlg, "calibrationName", QStringLiteral("sheet"));
    click(*child<QLineEdit>(dlg, "calibrationName")->parentWidget(), "cancel");  // not the window's Cancel
    QCOMPARE(sets->itemText(0), QStringLiteral("M_0"));
    QVERIFY(sets->isVisible());
    sets->setCurrentIndex(3);
    click(dlg, "del");  // asks first: the recorder answers Yes
    QCOMPARE(messages.texts.last(), QStringLiteral("   Make sure to delete ?"));
    QCOMPARE(sets->count(), 3);
    click(dlg, "autoLoad");
    QCOMPARE(messages.texts.last(), QStringLiteral("No calibration file: calibration/Config.ini"));
    home.writeFile("calibration/Config.ini", "[Camera_Para0]\nINTRINSIC5=777\n");
    sets->setCurrentIndex(1);
    click(dlg, "autoLoad");
    QCOMPARE(child<QLineEdit>(dlg, "fy")->text(), QStringLiteral("777.000000"));
    click(dlg, "save");
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(raw(home, "Camera_Para1", "INTRINSIC5"), std::string("777.000000"));
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
