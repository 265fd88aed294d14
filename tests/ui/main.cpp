// Runs one QtTest class chosen by name (the first argument), or all of them.

#include <QApplication>
#include <QStringList>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "ui/resources.h"
#include "ui_test_support.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  velmora::InitUiResources();
  const std::vector<std::pair<QString, std::function<std::unique_ptr<QObject>()>>> suites = {
      {"WindowFieldsTest", velmora::uitest::MakeWindowFieldsTest},
      {"WindowOptionsTest", velmora::uitest::MakeWindowOptionsTest},
      {"WindowJobTest", velmora::uitest::MakeWindowJobTest},
      {"DropTest", velmora::uitest::MakeDropTest},
      {"UiPartsTest", velmora::uitest::MakeUiPartsTest},
  };
  QStringList arguments = app.arguments();
  QString only;
  if (arguments.size() > 1 && !arguments[1].startsWith('-')) only = arguments.takeAt(1);

  int failures = 0;
  bool ran = false;
  for (const auto& [name, make] : suites) {
    if (!only.isEmpty() && only != name) continue;
    ran = true;
    std::unique_ptr<QObject> suite = make();
    failures += QTest::qExec(suite.get(), arguments);
  }
  if (!ran) {
    std::fprintf(stderr, "no test class named %s\n", qPrintable(only));
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
