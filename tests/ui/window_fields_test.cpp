// The path fields, the file dialogs and the fixed texts of the window.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/version.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

namespace velmora::uitest {
namespace {

class WindowFieldsTest : public QObject {
  Q_OBJECT

 private slots:
  void TargetFollowsSourceCharacterByCharacter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("targets");
    QTest::newRow("a.hwp") << "a.hwp"
                           << QStringList{"a.hwpx", "a.hwpx", "a.hwpx", "a.hwpx", "a.hwpx"};
    QTest::newRow("x.hml") << "x.hml"
                           << QStringList{"x.hwpx", "x.hwpx", "x.hwpx", "x.hwpx", "x(pack).hml"};
    QTest::newRow("d/b.HWPX")
        << "d/b.HWPX"
        << QStringList{"d.hwpx", "d/.hwpx", "d/b.hwpx", "d/b.hwpx", "d/b.hwpx", "d/b.hwpx",
                       "d/b.hwpx", "d/b(pack).hwpx"};
  }

  void TargetFollowsSourceCharacterByCharacter() {
    QFETCH(QString, typed);
    QFETCH(QStringList, targets);
    MainWindow window;
    auto* source = window.findChild<QLineEdit*>("sourceEdit");
    auto* target = window.findChild<QLineEdit*>("targetEdit");
    QCOMPARE(targets.size(), typed.size());
    for (qsizetype i = 0; i < typed.size(); ++i) {
      QTest::keyClicks(source, typed.mid(i, 1));
      QCOMPARE(source->text(), typed.left(i + 1));
      QCOMPARE(target->text(), targets[i]);
    }
  }

  void HandChosenTargetIsReplacedOnNextSourceChange() {
    MainWindow window;
    auto* source = window.findChild<QLineEdit*>("sourceEdit");
    auto* target = window.findChild<QLineEdit*>("targetEdit");
    QTest::keyClicks(source, "report.hwpx");
    target->setText("/elsewhere/mine.hwpx");
    QTest::keyClick(source, Qt::Key_Backspace);
    QCOMPARE(target->text(), QString("report.hwpx"));
    QTest::keyClicks(source, "x");
    QCOMPARE(target->text(), QString("report(pack).hwpx"));
  }

  void OpenDialogAsksForDocumentAndRenamesTarget() {
    MainWindow window;
    std::vector<FileDialogRequest> requests;
    MainWindow::DesktopActions actions;
    actions.chooseFile = [&](const FileDialogRequest& request) {
      requests.push_back(request);
      return QString("/docs/new/plan.hml");
    };
    window.SetDesktopActions(actions);
    window.findChild<QLineEdit*>("sourceEdit")->setText("/docs/old/a.hwpx");
    window.findChild<QPushButton*>("sourceButton")->click();
    QCOMPARE(requests.size(), size_t{1});
    QCOMPARE(requests[0].save, false);
    QCOMPARE(requests[0].title, QString("압축할 한/글 표준문서(HWPX) 또는 HWPML 문서 지정"));
    QCOMPARE(requests[0].filter,
             QString("한/글 표준문서 (*.hwpx);;HWPML 2.x 문서 (*.hml);;All files (*)"));
    QCOMPARE(requests[0].folder, QString("/docs/old/"));
    QCOMPARE(window.findChild<QLineEdit*>("sourceEdit")->text(), QString("/docs/new/plan.hml"));
    QCOMPARE(window.findChild<QLineEdit*>("targetEdit")->text(),
             QString("/docs/new/plan(pack).hml"));
  }

  void CancelledDialogChangesNothing() {
    MainWindow window;
    MainWindow::DesktopActions actions;
    actions.chooseFile = [](const FileDialogRequest&) { return QString(); };
    window.SetDesktopActions(actions);
    window.findChild<QLineEdit*>("sourceEdit")->setText("/docs/a.hwpx");
    window.findChild<QPushButton*>("sourceButton")->click();
    window.findChild<QPushButton*>("targetButton")->click();
    QCOMPARE(window.findChild<QLineEdit*>("sourceEdit")->text(), QString("/docs/a.hwpx"));
    QCOMPARE(window.findChild<QLineEdit*>("targetEdit")->text(), QString("/docs/a(pack).hwpx"));
  }

  void SaveDialogFollowsSourceKind_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("folder");
    const QString hmlTitle = "저장할 HWPML 문서의 이름 지정";
    const QString hwpxTitle = "저장할 한/글 표준문서(HWPX) 문서의 이름 지정";
    const QString hmlFirst = "HWPML 2.x 문서 (*.hml);;한/글 표준문서 (*.hwpx);;All files (*)";
    const QString hwpxFirst = "한/글 표준문서 (*.hwpx);;HWPML 2.x 문서 (*.hml);;All files (*)";
    QTest::newRow("hml source, upper case, blanks")
        << "  /in/a.HML  " << "/out/b.hml" << hmlTitle << hmlFirst << "/out/";
    QTest::newRow("hwpx source") << "/in/a.hwpx" << "/out/sub/b.hwpx" << hwpxTitle << hwpxFirst
                                 << "/out/sub/";
    QTest::newRow("empty target starts at the source")
        << "/in/a.hwpx" << "" << hwpxTitle << hwpxFirst << "/in/";
    QTest::newRow("name without folder") << "a.hwp" << "b.hwpx" << hwpxTitle << hwpxFirst
                                         << "b.hwpx";
  }

  void SaveDialogFollowsSourceKind() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    MainWindow window;
    std::vector<FileDialogRequest> requests;
    MainWindow::DesktopActions actions;
    actions.chooseFile = [&](const FileDialogRequest& request) {
      requests.push_back(request);
      return QString("/chosen/out.hwpx");
    };
    window.SetDesktopActions(actions);
    window.findChild<QLineEdit*>("sourceEdit")->setText(source);
    window.findChild<QLineEdit*>("targetEdit")->setText(target);
    window.findChild<QPushButton*>("targetButton")->click();
    QCOMPARE(requests.size(), size_t{1});
    QCOMPARE(requests[0].save, true);
    QTEST(requests[0].title, "title");
    QTEST(requests[0].filter, "filter");
    QTEST(requests[0].folder, "folder");
    QCOMPARE(requests[0].defaultSuffix, QString("hwpx"));
    QCOMPARE(window.findChild<QLineEdit*>("targetEdit")->text(), QString("/chosen/out.hwpx"));
    QCOMPARE(window.findChild<QLineEdit*>("sourceEdit")->text(), source);
  }

  void ShowsFixedTextsAndTooltips() {
    MainWindow window;
    QCOMPARE(window.windowTitle(),
             QString("Velmora von Halvern %1").arg(QString::fromStdString(GetVersionText())));
    QCOMPARE(window.TitleText(), window.windowTitle());
    QStringList labels;
    for (QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"Src", "Dst", "JpeqQ:", "Bkgr: #"}) {
      QVERIFY2(labels.contains(text), text);
    }
    QCOMPARE(window.findChild<QGroupBox*>()->title(), QString("options"));
    auto* rules = window.findChild<QComboBox*>("ruleList");
    QCOMPARE(rules->count(), 3);
    QCOMPARE(rules->itemText(0), QString("BMP → PNG (기본)"));
    QCOMPARE(rules->itemText(1), QString("BMP → JPEG"));
    QCOMPARE(rules->itemText(2), QString("BMP/PNG → PNGquant"));
    auto* resolutions = window.findChild<QComboBox*>("resolutionList");
    QStringList offered;
    for (int i = 0; i < resolutions->count(); ++i) offered << resolutions->itemText(i);
    QCOMPARE(offered,
             QStringList({"원본 해상도 유지", "300 ppi", "220 ppi", "150 ppi", "96 ppi"}));
    QCOMPARE(window.findChild<QCheckBox*>("keepTempCheck")->text(), QString("임시파일 유지"));
    QCOMPARE(window.findChild<QCheckBox*>("extraOptimiserCheck")->text(),
             QString("Zopflipng/Gifscicle"));
    QCOMPARE(window.findChild<QPushButton*>("sourceButton")->text(), QString("Desig"));
    QCOMPARE(window.findChild<QPushButton*>("targetButton")->text(), QString("Desig"));
    QCOMPARE(window.findChild<QPushButton*>("runButton")->text(), QString("Run!"));
    QCOMPARE(window.findChild<QPushButton*>("closeButton")->text(), QString("닫기"));
    QCOMPARE(window.findChild<QWidget*>("donateButton")->property("text").toString(),
             QString("Donate!"));

    const struct {
      const char* control;
      const char* tip;
    } tips[] = {
        {"qualityEdit", "JPEG 변환시 저장 품질 지정"},
        {"qualityArrows", "JPEG 변환시 저장 품질 지정"},
        {"backgroundEdit", "JPEG 변환시 투명도를 지정색으로 대체"},
        {"keepTempCheck", "문서에 첨부된 파일을 임시폴더에 추출 후 삭제하지 않음"},
        {"ruleList",
         "이미지 변환 규칙 지정\n- BMP를 PNG로 변환하는 것이 기본\n"
         "- 더 작은 파일 크기를 원하는 경우 JPEG 또는 PNGquant로 변환 가능"},
        {"extraOptimiserCheck", "PNG파일 압축시 Zopflipng로,\nGIF는 Gifsicle로 한번 더 크기를 줄임"},
        {"resolutionList",
         "그림을 문서에 인쇄되는 크기에 필요한 해상도로 줄임\n- 인쇄 220 ppi, 화면 150 ppi, 전자우편 96 ppi"},
        {"sourceEdit", ""},
        {"runButton", ""},
    };
    for (const auto& row : tips) {
      QCOMPARE(window.findChild<QWidget*>(row.control)->toolTip(), QString(row.tip));
    }
  }

  void TabOrderFollowsRowsLeftToRight() {
    MainWindow window;
    const QStringList expected = {"sourceEdit",     "sourceButton",   "targetEdit",
                                  "targetButton",   "ruleList",       "resolutionList",
                                  "qualityEdit",    "qualityArrows",  "backgroundEdit",
                                  "keepTempCheck",  "extraOptimiserCheck", "classicCheck",
                                  "donateButton",   "runButton",      "closeButton"};
    QWidget* widget = window.findChild<QWidget*>(expected.first());
    for (qsizetype i = 1; i < expected.size(); ++i) {
      widget = widget->nextInFocusChain();
      while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty()) {
        widget = widget->nextInFocusChain();
      }
      QCOMPARE(widget->objectName(), expected[i]);
    }
  }

  void StartsWithDefaultsAndFocusOnSource() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.findChild<QLineEdit*>("qualityEdit")->text(), QString("90"));
    QCOMPARE(window.findChild<QLineEdit*>("backgroundEdit")->text(), QString("FFFFFF"));
    QCOMPARE(window.findChild<QComboBox*>("ruleList")->currentIndex(), 0);
    // Every picture keeps its resolution unless a density is chosen.
    QCOMPARE(window.findChild<QComboBox*>("resolutionList")->currentIndex(), 0);
    QCOMPARE(window.Options().ppi, 0);
    QCOMPARE(window.findChild<QCheckBox*>("keepTempCheck")->isChecked(), false);
    QCOMPARE(window.findChild<QCheckBox*>("extraOptimiserCheck")->isChecked(), true);
    // The lossless passes are on until the user asks for the classic rules alone.
    QCOMPARE(window.findChild<QCheckBox*>("classicCheck")->isChecked(), false);
    // At start the background field is enabled whatever the rule.
    QVERIFY(window.findChild<QLineEdit*>("backgroundEdit")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), window.findChild<QWidget*>("sourceEdit"));
  }
};

}  // namespace

std::unique_ptr<QObject> MakeWindowFieldsTest() { return std::make_unique<WindowFieldsTest>(); }

}  // namespace velmora::uitest

#include "window_fields_test.moc"
