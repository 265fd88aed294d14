// Dropping files onto the path fields.

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "core/options.h"
#include "ui/drop_line_edit.h"
#include "ui/dropped_path.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

namespace velmora::uitest {
namespace {

bool Touch(const QString& path, const QByteArray& bytes = "x") {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class DropTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  QString Path(const QString& name) const { return folder_.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(folder_.isValid());
    QVERIFY(Touch(Path("one.hwpx")));
    QVERIFY(Touch(Path("two.hwpx")));
    QVERIFY(Touch(Path("three.hml")));
    QVERIFY(QDir(folder_.path()).mkdir("sub"));
    QVERIFY(Touch(Path("sub/deep.hml")));
    QVERIFY(QFile::link(Path("sub/deep.hml"), Path("link-to-deep")));
    QVERIFY(QFile::link("link-to-deep", Path("link-to-link")));
    QVERIFY(QFile::link(Path("sub"), Path("link-to-folder")));
    QVERIFY(QFile::link(Path("missing.hwpx"), Path("dangling")));
    QVERIFY(QFile::link(Path("cycle-b"), Path("cycle-a")));
    QVERIFY(QFile::link(Path("cycle-a"), Path("cycle-b")));
    QVERIFY(Touch(Path("doc.desktop"), "[Desktop Entry]\nType=Link\nName=Doc\nURL=file://" +
                                           QUrl::toPercentEncoding(Path("two.hwpx"), "/") + "\n"));
    QVERIFY(Touch(Path("plain.desktop"), "[Desktop Entry]\nType=Link\nURL=" +
                                             Path("three.hml").toUtf8() + "\n"));
    QVERIFY(Touch(Path("web.desktop"), "[Desktop Entry]\nType=Link\nURL=https://example.org/\n"));
    QVERIFY(Touch(Path("app.desktop"), "[Desktop Entry]\nType=Application\nExec=true\n"));
    QVERIFY(Touch(Path("folder.desktop"), "[Desktop Entry]\nType=Link\nURL=file://" +
                                              Path("sub").toUtf8() + "\n"));
    QVERIFY(Touch(Path("other-group.desktop"),
                  "[Desktop Entry]\nType=Application\n[Desktop Action x]\nType=Link\nURL=" +
                      Path("one.hwpx").toUtf8() + "\n"));
  }

  void DropOnSourceField_data() {
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("expected");  // empty: the field keeps its text
    QTest::newRow("one file") << QStringList{Path("one.hwpx")} << Path("one.hwpx");
    QTest::newRow("three files take the first")
        << QStringList{Path("three.hml"), Path("one.hwpx"), Path("two.hwpx")} << Path("three.hml");
    QTest::newRow("a folder changes nothing") << QStringList{Path("sub")} << QString();
    QTest::newRow("a folder first hides the files after it")
        << QStringList{Path("sub"), Path("one.hwpx")} << QString();
    QTest::newRow("missing file") << QStringList{Path("nothing.hwpx")} << QString();
    QTest::newRow("symbolic link") << QStringList{Path("link-to-deep")} << Path("sub/deep.hml");
    QTest::newRow("chain of links") << QStringList{Path("link-to-link")} << Path("sub/deep.hml");
    QTest::newRow("link to a folder") << QStringList{Path("link-to-folder")} << QString();
    QTest::newRow("dangling link") << QStringList{Path("dangling")} << QString();
    // Followed without end, a cycle would hang the window.
    QTest::newRow("cycle of links") << QStringList{Path("cycle-a")} << QString();
    QTest::newRow("desktop link with file URL") << QStringList{Path("doc.desktop")}
                                                << Path("two.hwpx");
    QTest::newRow("desktop link with plain path") << QStringList{Path("plain.desktop")}
                                                  << Path("three.hml");
    QTest::newRow("desktop link to the web stays itself") << QStringList{Path("web.desktop")}
                                                          << Path("web.desktop");
    QTest::newRow("application entry stays itself") << QStringList{Path("app.desktop")}
                                                    << Path("app.desktop");
    QTest::newRow("desktop link to a folder") << QStringList{Path("folder.desktop")} << QString();
    QTest::newRow("link keys of another group")
        << QStringList{Path("other-group.desktop")} << Path("other-group.desktop");
  }

  void DropOnSourceField() {
    QFETCH(QStringList, dropped);
    QFETCH(QString, expected);
    MainWindow window;
    auto* source = window.findChild<QLineEdit*>("sourceEdit");
    auto* target = window.findChild<QLineEdit*>("targetEdit");
    source->setText("/before/a.hwpx");
    target->setText("/before/chosen.hwpx");
    DropFiles(source, dropped);
    if (expected.isEmpty()) {
      QCOMPARE(source->text(), QString("/before/a.hwpx"));
      QCOMPARE(target->text(), QString("/before/chosen.hwpx"));
    } else {
      QCOMPARE(source->text(), expected);
      QCOMPARE(target->text(),
               QString::fromStdString(DefaultTargetName(expected.toStdString())));
    }
  }

  void DropOnTargetFieldReplacesOnlyTarget() {
    MainWindow window;
    auto* source = window.findChild<QLineEdit*>("sourceEdit");
    auto* target = window.findChild<QLineEdit*>("targetEdit");
    source->setText("/in/a.hwpx");
    DropFiles(target, {Path("two.hwpx"), Path("one.hwpx")});
    QCOMPARE(target->text(), Path("two.hwpx"));
    QCOMPARE(source->text(), QString("/in/a.hwpx"));
    DropFiles(target, {Path("sub")});
    QCOMPARE(target->text(), Path("two.hwpx"));
  }

  void AcceptModesDecideBetweenFilesAndFolders() {
    DropLineEdit edit;
    edit.SetAcceptMode(DropLineEdit::kFoldersOnly);
    QVERIFY(!edit.TakeDroppedPath(Path("one.hwpx")));
    QVERIFY(edit.TakeDroppedPath(Path("sub")));
    QCOMPARE(edit.text(), Path("sub"));
    edit.SetAcceptMode(DropLineEdit::kFilesAndFolders);
    QVERIFY(edit.TakeDroppedPath(Path("one.hwpx")));
    QVERIFY(edit.TakeDroppedPath(Path("link-to-folder")));
    QCOMPARE(edit.text(), Path("sub"));
    QVERIFY(!edit.TakeDroppedPath(Path("dangling")));
  }

  void OversizedDesktopFileIsNotFollowed() {
    QByteArray entry = "[Desktop Entry]\nType=Link\nURL=" + Path("one.hwpx").toUtf8() + "\n";
    entry += QByteArray(100 * 1024, '#');
    QVERIFY(Touch(Path("huge.desktop"), entry));
    QCOMPARE(DesktopLinkTarget(Path("huge.desktop")), QString());
    QCOMPARE(ResolveDroppedPath(Path("huge.desktop")), Path("huge.desktop"));
  }

  void EscapedDesktopValuesAreDecoded() {
    QVERIFY(Touch(Path("with space.hwpx")));
    QVERIFY(Touch(Path("escaped.desktop"), "[Desktop Entry]\nType=Link\nURL=" +
                                               Path("with\\sspace.hwpx").toUtf8() + "\n"));
    QCOMPARE(DesktopLinkTarget(Path("escaped.desktop")), Path("with space.hwpx"));
  }
};

}  // namespace

std::unique_ptr<QObject> MakeDropTest() { return std::make_unique<DropTest>(); }

}  // namespace velmora::uitest

#include "drop_test.moc"
