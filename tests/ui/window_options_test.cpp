// The option controls: quality arrows, the quality transfer, the rule list and the
// resolution list.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <mutex>

#include "ui/up_down.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

namespace velmora::uitest {
namespace {

// A job that only records the options it was given.
struct RecordingRunner {
  std::mutex mutex;
  std::vector<ShrinkOptions> seen;
  MainWindow::JobRunner Runner() {
    return [this](const std::string&, const std::string&, const ShrinkOptions& options, JobHost&) {
      std::lock_guard<std::mutex> lock(mutex);
      seen.push_back(options);
      return true;
    };
  }
};

class WindowOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void QualityArrowsKeepToRange_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("after");
    QTest::newRow("100 up stays") << "100" << true << "100";
    QTest::newRow("0 down stays") << "0" << false << "0";
    QTest::newRow("250 up is 100") << "250" << true << "100";
    QTest::newRow("250 down is 249") << "250" << false << "249";
    QTest::newRow("90 up") << "90" << true << "91";
    QTest::newRow("90 down") << "90" << false << "89";
    QTest::newRow("text reads as 0") << "abc" << true << "1";
    QTest::newRow("number before text") << " 42x" << false << "41";
    QTest::newRow("negative down is 0") << "-7" << false << "0";
    QTest::newRow("unchanged text is left as typed") << "0100" << true << "0100";
    QTest::newRow("huge number up is 100") << "99999999999999999999" << true << "100";
    QTest::newRow("huge negative down is 0") << "-99999999999999999999" << false << "0";
  }

  void QualityArrowsKeepToRange() {
    QFETCH(QString, typed);
    QFETCH(bool, up);
    MainWindow window;
    auto* quality = window.findChild<QLineEdit*>("qualityEdit");
    auto* arrows = window.findChild<UpDownControl*>("qualityArrows");
    quality->setText(typed);
    (up ? arrows->UpButton() : arrows->DownButton())->click();
    QTEST(quality->text(), "after");
  }

  void ArrowKeysOnTheArrowsStepAndFocusTheField() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* quality = window.findChild<QLineEdit*>("qualityEdit");
    auto* arrows = window.findChild<UpDownControl*>("qualityArrows");
    arrows->setFocus();
    QTest::keyClick(arrows, Qt::Key_Up);
    QCOMPARE(quality->text(), QString("91"));
    QCOMPARE(QApplication::focusWidget(), quality);
  }

  void TypedQualityIsNotClamped() {
    MainWindow window;
    RecordingRunner runner;
    window.SetJobRunner(runner.Runner());
    BoxAnswerer boxes(window);
    window.findChild<QLineEdit*>("sourceEdit")->setText("/in/a.hwpx");
    auto* quality = window.findChild<QLineEdit*>("qualityEdit");
    quality->clear();
    QTest::keyClicks(quality, "250");
    window.findChild<QPushButton*>("runButton")->click();
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(runner.seen.size(), size_t{1});
    QCOMPARE(runner.seen[0].jpegQuality, 250u);
    QVERIFY(boxes.boxes.empty());
  }

  void InvalidQualityShowsMessageAndJobRunsWithPreviousValues() {
    MainWindow window;
    RecordingRunner runner;
    window.SetJobRunner(runner.Runner());
    BoxAnswerer boxes(window);
    window.findChild<QLineEdit*>("sourceEdit")->setText("/in/a.hwpx");
    // Choosing a rule transfers the controls: quality 75, rule 2.
    window.findChild<QLineEdit*>("qualityEdit")->setText("75");
    window.findChild<QComboBox*>("ruleList")->setCurrentIndex(2);
    // Then changes that the failed transfer must not pick up.
    window.findChild<QLineEdit*>("qualityEdit")->setText("7x");
    window.findChild<QCheckBox*>("keepTempCheck")->setChecked(true);
    window.findChild<QCheckBox*>("extraOptimiserCheck")->setChecked(false);
    window.findChild<QLineEdit*>("backgroundEdit")->setText("102030");

    window.findChild<QPushButton*>("runButton")->click();
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(boxes.boxes.size(), size_t{1});
    QCOMPARE(boxes.boxes[0].text, QString("양의 정수를 입력하십시오."));
    QCOMPARE(boxes.boxes[0].parent, static_cast<QWidget*>(&window));
    QCOMPARE(runner.seen.size(), size_t{1});
    QCOMPARE(runner.seen[0].jpegQuality, 75u);
    QCOMPARE(static_cast<int>(runner.seen[0].conversionRule), 2);
    QCOMPARE(runner.seen[0].keepTempFiles, false);
    QCOMPARE(runner.seen[0].extraOptimisers, true);
    // The background text is read when the job starts, not by the transfer.
    QCOMPARE(runner.seen[0].backgroundText, std::string("102030"));
  }

  void ValidTransferTakesEveryControl() {
    MainWindow window;
    RecordingRunner runner;
    window.SetJobRunner(runner.Runner());
    window.findChild<QLineEdit*>("sourceEdit")->setText("/in/a.hml");
    window.findChild<QLineEdit*>("qualityEdit")->setText(" 60 ");
    window.findChild<QComboBox*>("ruleList")->setCurrentIndex(1);
    window.findChild<QCheckBox*>("keepTempCheck")->setChecked(true);
    window.findChild<QCheckBox*>("extraOptimiserCheck")->setChecked(false);
    window.findChild<QCheckBox*>("classicCheck")->setChecked(true);
    window.findChild<QPushButton*>("runButton")->click();
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(runner.seen.size(), size_t{1});
    QCOMPARE(runner.seen[0].classic, true);
    QCOMPARE(runner.seen[0].jpegQuality, 60u);
    QCOMPARE(static_cast<int>(runner.seen[0].conversionRule), 1);
    QCOMPARE(runner.seen[0].keepTempFiles, true);
    QCOMPARE(runner.seen[0].extraOptimisers, false);
    QCOMPARE(runner.seen[0].backgroundText, std::string("FFFFFF"));
  }

  void EmptyPathStartsNoJob() {
    MainWindow window;
    RecordingRunner runner;
    window.SetJobRunner(runner.Runner());
    window.findChild<QLineEdit*>("sourceEdit")->setText("   ");
    window.findChild<QPushButton*>("runButton")->click();
    window.findChild<QLineEdit*>("sourceEdit")->setText("/in/a.hwpx");
    window.findChild<QLineEdit*>("targetEdit")->setText(" \t");
    window.findChild<QPushButton*>("runButton")->click();
    QTest::qWait(50);
    QVERIFY(!window.IsJobRunning());
    QVERIFY(runner.seen.empty());
    QVERIFY(window.findChild<QPushButton*>("runButton")->isEnabled());
  }

  void ResolutionChoiceReachesTheJob_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("ppi");
    QTest::newRow("original resolution") << 0 << 0;
    QTest::newRow("300 ppi") << 1 << 300;
    QTest::newRow("220 ppi") << 2 << 220;
    QTest::newRow("150 ppi") << 3 << 150;
    QTest::newRow("96 ppi") << 4 << 96;
  }

  void ResolutionChoiceReachesTheJob() {
    QFETCH(int, index);
    QFETCH(int, ppi);
    MainWindow window;
    RecordingRunner runner;
    window.SetJobRunner(runner.Runner());
    window.findChild<QLineEdit*>("sourceEdit")->setText("/in/a.hwpx");
    window.findChild<QComboBox*>("resolutionList")->setCurrentIndex(index);
    window.findChild<QPushButton*>("runButton")->click();
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(runner.seen.size(), size_t{1});
    QCOMPARE(runner.seen[0].ppi, ppi);
    QCOMPARE(window.Options().ppi, ppi);
  }

  void InvalidQualityKeepsThePreviousResolution() {
    MainWindow window;
    RecordingRunner runner;
    window.SetJobRunner(runner.Runner());
    BoxAnswerer boxes(window);
    window.findChild<QLineEdit*>("sourceEdit")->setText("/in/a.hwpx");
    window.findChild<QComboBox*>("resolutionList")->setCurrentIndex(2);
    window.findChild<QPushButton*>("runButton")->click();
    QTRY_VERIFY(!window.IsJobRunning());
    // The resolution is read after the quality: a quality that cannot be read leaves it.
    window.findChild<QLineEdit*>("qualityEdit")->setText("x");
    window.findChild<QComboBox*>("resolutionList")->setCurrentIndex(4);
    window.findChild<QPushButton*>("runButton")->click();
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(runner.seen.size(), size_t{2});
    QCOMPARE(runner.seen[0].ppi, 220);
    QCOMPARE(runner.seen[1].ppi, 220);
    QCOMPARE(boxes.boxes.size(), size_t{1});
  }

  void RuleListEnablesBackgroundOnlyForJpeg() {
    MainWindow window;
    auto* rules = window.findChild<QComboBox*>("ruleList");
    auto* background = window.findChild<QLineEdit*>("backgroundEdit");
    const bool expected[] = {false, true, false};
    for (int rule : {2, 1, 0, 1, 2}) {
      rules->setCurrentIndex(rule);
      QCOMPARE(background->isEnabled(), expected[rule]);
      QCOMPARE(static_cast<int>(window.Options().conversionRule), rule);
    }
  }

  void RuleListFollowsShownRuleEvenWhenQualityIsInvalid() {
    MainWindow window;
    BoxAnswerer boxes(window);
    window.findChild<QLineEdit*>("qualityEdit")->setText("high");
    window.findChild<QComboBox*>("ruleList")->setCurrentIndex(1);
    QCOMPARE(boxes.boxes.size(), size_t{1});
    QCOMPARE(boxes.boxes[0].text, QString("양의 정수를 입력하십시오."));
    QVERIFY(window.findChild<QLineEdit*>("backgroundEdit")->isEnabled());
    // The option set keeps its last transferred rule.
    QCOMPARE(static_cast<int>(window.Options().conversionRule), 0);
  }
};

}  // namespace

std::unique_ptr<QObject> MakeWindowOptionsTest() { return std::make_unique<WindowOptionsTest>(); }

}  // namespace velmora::uitest

#include "window_options_test.moc"
