// The window's smaller parts: reading the quality text, the donation address, the
// picture button, the launcher progress and the job host.

#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include "ui/bitmap_button.h"
#include "ui/desktop_integration.h"
#include "ui/dialog_units.h"
#include "ui/donation.h"
#include "ui/quality_text.h"
#include "ui/window_job_host.h"
#include "ui_test_support.h"


namespace velmora::uitest {
namespace {

class UiPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void QualityTextForJobs_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<unsigned>("value");
    QTest::newRow("plain") << "90" << true << 90u;
    QTest::newRow("zero") << "0" << true << 0u;
    QTest::newRow("blanks around") << " \t75 " << true << 75u;
    QTest::newRow("plus sign") << "+8" << true << 8u;
    QTest::newRow("above 100 is kept") << "250" << true << 250u;
    QTest::newRow("largest 32-bit") << "4294967295" << true << 4294967295u;
    QTest::newRow("too large") << "4294967296" << false << 0u;
    QTest::newRow("empty") << "" << false << 0u;
    QTest::newRow("blank") << "  " << false << 0u;
    QTest::newRow("negative") << "-1" << false << 0u;
    QTest::newRow("trailing letters") << "90a" << false << 0u;
    QTest::newRow("inner blank") << "9 0" << false << 0u;
    QTest::newRow("decimal point") << "9.5" << false << 0u;
    QTest::newRow("sign alone") << "+" << false << 0u;
  }

  void QualityTextForJobs() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(unsigned, value);
    const std::optional<unsigned> parsed = ParseUnsignedDecimal(text.toStdString());
    QCOMPARE(parsed.has_value(), valid);
    if (valid) QCOMPARE(*parsed, value);
  }

  void QualityTextForArrows_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    QTest::newRow("digits") << "42" << qint64{42};
    QTest::newRow("stops at letter") << "42abc" << qint64{42};
    QTest::newRow("white space and sign") << "\n -13" << qint64{-13};
    QTest::newRow("no number") << "abc" << qint64{0};
    QTest::newRow("sign without digits") << "-" << qint64{0};
    QTest::newRow("saturates high") << "99999999999999999999" << qint64{2147483647};
    QTest::newRow("saturates low") << "-99999999999999999999" << qint64{-2147483648LL};
  }

  void QualityTextForArrows() {
    QFETCH(QString, text);
    QTEST(static_cast<qint64>(LeadingInteger(text.toStdString())), "value");
  }

  void StepsStayWithinRangeEvenFromExtremes() {
    QCOMPARE(StepQuality(2147483647, true), int64_t{100});
    QCOMPARE(StepQuality(-2147483648LL, false), int64_t{0});
    QCOMPARE(StepQuality(-2147483648LL, true), int64_t{-2147483647LL});
  }

  void DonationAddressIsAssembledButNotStoredPlainly() {
    const std::string address = DonationAddress();
    QCOMPARE(QString::fromStdString(address), QString("https://velmora.halvern.org/donate"));
    // The program itself must not carry the address as text (this test program
    // does, in the comparison above).
    const QString program = qEnvironmentVariable("VELMORA_GUI");
    if (program.isEmpty()) QSKIP("VELMORA_GUI names no program");
    QFile file(program);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray binary = file.readAll();
    QVERIFY(binary.size() > 1000);
    QVERIFY(binary.contains("양의 정수를 입력하십시오."));
    QVERIFY(!binary.contains(QByteArray::fromStdString(address)));
    QVERIFY(!binary.contains("halvern.org"));
  }

  void BitmapButtonShowsPictureOfItsState() {
    CBitmapButton button("Donate!");
    QVERIFY(button.LoadBitmaps(":/velmora/donate_normal.png", ":/velmora/donate_pressed.png",
                               ":/velmora/donate_focused.png", ":/velmora/donate_disabled.png"));
    QCOMPARE(button.sizeHint(), QSize(84, 20));
    const QImage normal = button.CurrentPixmap().toImage();
    button.setDown(true);
    const QImage pressed = button.CurrentPixmap().toImage();
    button.setDown(false);
    button.setEnabled(false);
    const QImage disabled = button.CurrentPixmap().toImage();
    QCOMPARE(normal.size(), QSize(84, 20));
    QVERIFY(normal != pressed);
    QVERIFY(normal != disabled);
    QVERIFY(pressed != disabled);
    QVERIFY(!button.LoadBitmaps(":/velmora/none.png", ":/velmora/none.png",
                                ":/velmora/none.png", ":/velmora/none.png"));
  }

  void LauncherProgressIsAFractionWithinRange() {
    QCOMPARE(LauncherAppUri(), QString("application://velmora-gui.desktop"));
    QCOMPARE(LauncherStateProperties(0).value("progress-visible").toBool(), false);
    QCOMPARE(LauncherStateProperties(2).value("progress-visible").toBool(), true);
    const QVariantMap quarter = LauncherProgressProperties(50, 200);
    QCOMPARE(quarter.value("progress").toDouble(), 0.25);
    QCOMPARE(quarter.value("progress-visible").toBool(), true);
    QCOMPARE(LauncherProgressProperties(7, 0).value("progress").toDouble(), 0.0);
    QCOMPARE(LauncherProgressProperties(300, 200).value("progress").toDouble(), 1.0);
    QCOMPARE(LauncherProgressProperties(UINT64_MAX, UINT64_MAX).value("progress").toDouble(),
             1.0);
    // Without a session bus (the test environment has none) nothing happens.
    SendLauncherUpdate(quarter);
  }

  void DialogUnitsScaleWithTheFont() {
    QFont small;
    small.setPixelSize(10);
    QFont large;
    large.setPixelSize(20);
    const DialogUnits a(small);
    const DialogUnits b(large);
    QVERIFY(b.X(428) > a.X(428) * 3 / 2);
    QVERIFY(b.Y(79) > a.Y(79) * 3 / 2);
    QCOMPARE(a.X(0), 0);
    QCOMPARE(a.X(4), a.BaseX());
    QCOMPARE(a.Y(8), a.BaseY());
  }

  void HostCarriesMessagesToItsThreadAndWaitsForAnswer() {
    QObject window;
    std::vector<std::pair<QString, bool>> shown;
    std::vector<Qt::HANDLE> threads;
    WindowJobHost host(&window, {[&](const QString& text, bool failure) {
                                   shown.emplace_back(text, failure);
                                   threads.push_back(QThread::currentThreadId());
                                 },
                                 nullptr, nullptr});
    std::atomic<int> returned{0};
    std::thread worker([&] {
      host.ShowMessage("작업 완료", false);
      ++returned;
      host.ShowMessage("실패", true);
      ++returned;
      host.OnTaskbarState(2);  // no callback: ignored
    });
    QTRY_COMPARE(returned.load(), 2);
    worker.join();
    QCOMPARE(shown.size(), size_t{2});
    QCOMPARE(shown[0].first, QString("작업 완료"));
    QCOMPARE(shown[0].second, false);
    QCOMPARE(shown[1].second, true);
    QCOMPARE(threads[0], QThread::currentThreadId());
  }

  void HostShutdownReleasesWaitingWorker() {
    QObject window;
    int shown = 0;
    WindowJobHost host(&window, {[&](const QString&, bool) { ++shown; }, nullptr, nullptr});
    std::atomic<bool> returned{false};
    std::thread worker([&] {
      host.ShowMessage("waits", false);
      returned = true;
    });
    // The window's thread never runs its events: only shutdown can release the worker.
    QThread::msleep(50);
    QVERIFY(!returned);
    host.Shutdown();
    worker.join();
    QVERIFY(returned);
    host.ShowMessage("after shutdown", false);  // returns at once, from any thread
    QCoreApplication::removePostedEvents(&window);
    QCOMPARE(shown, 0);
  }
};

}  // namespace

std::unique_ptr<QObject> MakeUiPartsTest() { return std::make_unique<UiPartsTest>(); }

}  // namespace velmora::uitest

#include "ui_parts_test.moc"
