// Running a job from the window: the worker thread, the controls while it runs, its
// messages, closing the window meanwhile, and a real job on the bundled sample.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "support/test_support.h"
#include "ui/about_box.h"
#include "platform/platform.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

namespace velmora::uitest {
namespace {

const char* const kInputControls[] = {
    "sourceEdit", "targetEdit",    "qualityEdit",   "backgroundEdit",      "sourceButton",
    "targetButton", "runButton",   "ruleList",      "resolutionList",      "qualityArrows",
    "keepTempCheck", "extraOptimiserCheck", "classicCheck", "closeButton"};

// A job held open until the test releases it.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

void StartJob(MainWindow& window, const QString& source) {
  window.findChild<QLineEdit*>("sourceEdit")->setText(source);
  window.findChild<QPushButton*>("runButton")->click();
}

class WindowJobTest : public QObject {
  Q_OBJECT

 private slots:
  void ControlsAreDisabledWhileJobRunsAndDonateStaysUsable() {
    MainWindow window;
    std::vector<QUrl> opened;
    MainWindow::DesktopActions actions;
    actions.openUrl = [&](const QUrl& url) { opened.push_back(url); };
    window.SetDesktopActions(actions);
    window.findChild<QComboBox*>("ruleList")->setCurrentIndex(2);  // disables the background
    window.SetJobRunner([](const std::string&, const std::string&, const ShrinkOptions&,
                           JobHost& host) {
      host.ShowMessage("held", false);
      return true;
    });
    BoxAnswerer boxes(window);
    QStringList enabledDuringJob;
    bool donateEnabled = false;
    boxes.whileShown = [&](QMessageBox&) {
      for (const char* name : kInputControls) {
        if (window.findChild<QWidget*>(name)->isEnabled()) enabledDuringJob << name;
      }
      auto* donate = window.findChild<QAbstractButton*>("donateButton");
      donateEnabled = donate->isEnabled();
      donate->click();
    };
    StartJob(window, "/in/a.hwpx");
    QTRY_COMPARE(boxes.boxes.size(), size_t{1});
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(enabledDuringJob, QStringList());
    QVERIFY(donateEnabled);
    QCOMPARE(opened.size(), size_t{1});
    QCOMPARE(opened[0].scheme(), QString("https"));
    for (const char* name : kInputControls) {
      QVERIFY2(window.findChild<QWidget*>(name)->isEnabled(), name);
    }
    QVERIFY(window.findChild<QWidget*>("donateButton")->isEnabled());
  }

  void JobMessageIsOwnedByWindowAndBlocksWorkerUntilAnswered() {
    MainWindow window;
    std::atomic<bool> returned{false};
    window.SetJobRunner([&](const std::string&, const std::string&, const ShrinkOptions&,
                            JobHost& host) {
      host.ShowMessage("first\nsecond <b>line</b>", true);
      returned = true;
      return false;
    });
    BoxAnswerer boxes(window);
    bool returnedWhileShown = true;
    boxes.whileShown = [&](QMessageBox&) {
      QTest::qWait(100);
      returnedWhileShown = returned;
    };
    StartJob(window, "/in/a.hwpx");
    QTRY_VERIFY(!window.IsJobRunning());
    QVERIFY(!returnedWhileShown);
    QVERIFY(returned);
    QCOMPARE(boxes.boxes.size(), size_t{1});
    QCOMPARE(boxes.boxes[0].text, QString("first\nsecond <b>line</b>"));
    QCOMPARE(boxes.boxes[0].title, QString("Velmora"));
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes.boxes[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(boxes.boxes[0].parent, static_cast<QWidget*>(&window));
  }

  // A job that throws (out of memory, say) must not end the program with the window.
  void JobThatThrowsShowsAFailureAndFreesTheWindow() {
    MainWindow window;
    window.SetJobRunner([](const std::string&, const std::string&, const ShrinkOptions&,
                           JobHost&) -> bool { throw std::bad_alloc(); });
    BoxAnswerer boxes(window);
    StartJob(window, "/in/a.hwpx");
    QTRY_VERIFY(!window.IsJobRunning());
    QCOMPARE(boxes.boxes.size(), size_t{1});
    QCOMPARE(boxes.boxes[0].text, QString("작업 중 예기치 않은 오류가 발생함"));
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Warning);
    for (const char* name : kInputControls) {
      QVERIFY2(window.findChild<QWidget*>(name)->isEnabled(), name);
    }
  }

  void BackgroundFieldIsEnabledAfterEveryJob() {
    MainWindow window;
    window.SetJobRunner([](const std::string&, const std::string&, const ShrinkOptions&,
                           JobHost&) { return false; });
    window.findChild<QComboBox*>("ruleList")->setCurrentIndex(2);
    QVERIFY(!window.findChild<QLineEdit*>("backgroundEdit")->isEnabled());
    StartJob(window, "/in/a.hwpx");
    QTRY_VERIFY(!window.IsJobRunning());
    QVERIFY(window.findChild<QLineEdit*>("backgroundEdit")->isEnabled());
  }

  // The bundled sample, with every kind of picture the job rewrites. The optimisers stay
  // off: they are other programs, and their work is tested elsewhere.
  void RealJobOnTheSampleShowsSummaryAndLeavesTarget() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString source = folder.filePath("sample.hwpx");
    const std::string sampleBytes =
        testing::ReadFile(std::string(VELMORA_SOURCE_DIR) + "/samples/sample.hwpx");
    testing::WriteFile(source.toStdString(), sampleBytes);
    MainWindow window;
    window.findChild<QCheckBox*>("extraOptimiserCheck")->setChecked(false);
    std::vector<QVariantMap> launcher;
    std::vector<QString> revealed;
    MainWindow::DesktopActions actions;
    actions.launcherUpdate = [&](const QVariantMap& properties) { launcher.push_back(properties); };
    actions.revealFile = [&](const QString& path) { revealed.push_back(path); };
    window.SetDesktopActions(actions);
    BoxAnswerer boxes(window);
    StartJob(window, source);
    QTRY_VERIFY_WITH_TIMEOUT(!window.IsJobRunning(), 60000);
    QCOMPARE(boxes.boxes.size(), size_t{1});
    QVERIFY2(boxes.boxes[0].text.startsWith("작업 완료: "), qPrintable(boxes.boxes[0].text));
    QVERIFY(boxes.boxes[0].text.contains("KB → "));
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Information);
    const QString target = folder.filePath("sample(pack).hwpx");
    QCOMPARE(window.findChild<QLineEdit*>("targetEdit")->text(), target);
    auto items = testing::ReadZip(target.toStdString());
    auto original = testing::ReadZip(source.toStdString());
    QVERIFY(items.has_value() && original.has_value());
    // Every entry comes out again (pictures may change their extension); the package may
    // gain the folder entries of the items it re-adds.
    const auto files = [](const std::vector<testing::ZipItem>& entries) {
      return std::count_if(entries.begin(), entries.end(),
                           [](const testing::ZipItem& e) { return e.name.back() != '/'; });
    };
    QCOMPARE(files(*items), files(*original));
    QCOMPARE(items->front().name, std::string("mimetype"));
    QCOMPARE(items->front().bytes, std::string("application/hwp+zip"));
    QVERIFY(QFileInfo(target).size() < static_cast<qint64>(sampleBytes.size()));
    QCOMPARE(testing::ReadFile(source.toStdString()), sampleBytes);
    // No kept files: nothing to reveal.
    QVERIFY(revealed.empty());
    // The launcher shows no progress at the start and again after the summary.
    QTRY_VERIFY(!launcher.empty() &&
                launcher.back().value("progress-visible").toBool() == false);
    QCOMPARE(launcher.front().value("progress-visible").toBool(), false);
  }

  void KeptLogIsRevealedAfterJob() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", folder.path().toUtf8());
    const QString source = folder.filePath("keep.hwpx");
    WriteSmallHwpx(source);
    MainWindow window;
    std::vector<QString> revealed;
    MainWindow::DesktopActions actions;
    actions.revealFile = [&](const QString& path) { revealed.push_back(path); };
    window.SetDesktopActions(actions);
    BoxAnswerer boxes(window);
    window.findChild<QCheckBox*>("keepTempCheck")->setChecked(true);
    StartJob(window, source);
    QTRY_VERIFY_WITH_TIMEOUT(!window.IsJobRunning(), 60000);
    if (oldTemp.isNull()) {
      qunsetenv("TMPDIR");
    } else {
      qputenv("TMPDIR", oldTemp);
    }
    QCOMPARE(revealed.size(), size_t{1});
    QCOMPARE(revealed[0], QString::fromStdString(window.RevealLogPath()));
    QVERIFY(revealed[0].endsWith("log.md"));
    QVERIFY(QFileInfo(revealed[0]).isFile());
  }

  // Closing asks the job to stop as a signal asks the command line; the window closes
  // once the job has ended, and the request does not outlive it.
  void ClosingDuringJobStopsItWhenAsked() {
    MainWindow window;
    Gate started;
    std::atomic<bool> sawStop{false};
    window.SetJobRunner([&](const std::string&, const std::string&, const ShrinkOptions&,
                            JobHost& host) {
      started.Open();
      for (int i = 0; i < 1000 && !platform::StopRequested(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      sawStop = platform::StopRequested();
      host.ShowMessage("stopped", true);  // nobody is left to answer it
      return false;
    });
    BoxAnswerer boxes(window);
    boxes.answer = QMessageBox::Yes;
    window.show();
    StartJob(window, "/in/a.hwpx");
    started.Wait();
    QVERIFY(window.IsJobRunning());
    QVERIFY(!window.close());
    QCOMPARE(boxes.boxes.size(), size_t{1});
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Question);
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(sawStop);
    QVERIFY(!window.IsJobRunning());
    QVERIFY(!platform::StopRequested());
    QCOMPARE(boxes.boxes.size(), size_t{1});
  }

  void ClosingDuringJobCanBeRefused() {
    MainWindow window;
    Gate gate;
    window.SetJobRunner([&](const std::string&, const std::string&, const ShrinkOptions&,
                            JobHost&) {
      gate.Wait();
      return true;
    });
    BoxAnswerer boxes(window);
    boxes.answer = QMessageBox::No;
    window.show();
    StartJob(window, "/in/a.hwpx");
    QVERIFY(!window.close());
    QVERIFY(!platform::StopRequested());
    gate.Open();
    QTRY_VERIFY(!window.IsJobRunning());
    QTest::qWait(50);
    QVERIFY(window.isVisible());
    // Idle again: closing needs no question.
    QVERIFY(window.close());
    QCOMPARE(boxes.boxes.size(), size_t{1});
  }

  void DestroyedWindowReleasesAndAwaitsItsJob() {
    std::atomic<bool> messageReturned{false};
    std::atomic<bool> jobEnded{false};
    Gate started;
    auto* window = new MainWindow;
    window->SetJobRunner([&](const std::string&, const std::string&, const ShrinkOptions&,
                             JobHost& host) {
      started.Open();
      host.ShowMessage("nobody answers", false);
      messageReturned = true;
      host.ShowMessage("nor this", false);
      jobEnded = true;
      return true;
    });
    StartJob(*window, "/in/a.hwpx");
    started.Wait();
    delete window;  // without processing events: the message box is never shown
    QVERIFY(messageReturned);
    QVERIFY(jobEnded);
    QTest::qWait(20);  // a late notice from the worker must find nothing to call
  }

  void EscapeIsSwallowed() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(window.findChild<QWidget*>("sourceEdit"), Qt::Key_Escape);
    QVERIFY(window.isVisible());
    QCOMPARE(window.result(), 0);
  }

  void CloseButtonClosesWhenIdle() {
    MainWindow window;
    window.show();
    window.findChild<QPushButton*>("closeButton")->click();
    QVERIFY(!window.isVisible());
  }

  void F1OpensAboutBoxAndF1InsideDoesNothing() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    int opened = 0;
    QString shownTitle;
    window.SetAboutBoxObserver([&](AboutBox& box) {
      ++opened;
      shownTitle = box.TitleText();
      QTest::keyClick(&box, Qt::Key_F1);
      QTest::qWait(20);
      QVERIFY(box.isVisible());
      QTest::keyClick(&box, Qt::Key_Escape);
    });
    QTest::keyClick(window.findChild<QWidget*>("sourceEdit"), Qt::Key_F1);
    QCOMPARE(opened, 1);
    QCOMPARE(shownTitle, window.windowTitle());
  }

  void ContextMenuOffersAboutBox() {
    MainWindow window;
    QAction* about = nullptr;
    for (QAction* action : window.actions()) {
      if (action->text() == QString("Velmora 정보(&A)...")) about = action;
    }
    QVERIFY(about != nullptr);
    QCOMPARE(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    int opened = 0;
    window.SetAboutBoxObserver([&](AboutBox& box) {
      ++opened;
      QCOMPARE(box.windowTitle(), QString("Velmora 정보"));
      box.findChild<QPushButton*>("aboutOk")->click();
    });
    about->trigger();
    QCOMPARE(opened, 1);
  }
};

}  // namespace

std::unique_ptr<QObject> MakeWindowJobTest() { return std::make_unique<WindowJobTest>(); }

}  // namespace velmora::uitest

#include "window_job_test.moc"
