// The window's smaller parts: reading the quality text, the donation address, the
// picture button, the launcher progress and releasing a job's worker.

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include "ui/image_button.h"
#include "ui/desktop_integration.h"
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
    ImageButton button("Donate!");
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
    QCOMPARE(LauncherStateProperties(ProgressState::kHidden).value("progress-visible").toBool(), false);
    QCOMPARE(LauncherStateProperties(ProgressState::kRunning).value("progress-visible").toBool(), true);
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

  void HostShutdownReleasesWaitingWorker() {
    QObject window;
    int shown = 0;
    WindowJobHost host(&window, {[&](const QString&, bool) { ++shown; }, nullptr, nullptr, nullptr});
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
