// The check after a command, driven as a user would: a clean book leaves the findings
// dock hidden; a book with a fault lists it, copies it as text, and a double-click
// previews the entry that holds it.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/window_test_support.h"
#include "platform/files.h"

namespace tavex::app::testing {
namespace {

// Puts `text` at the start of the body line of entry `id` in the book at `path` and
// gives that line's number.
int InsertIntoEntryBody(const std::string& path, int id, const std::string& text) {
  std::string book = ReadFile(path);
  const std::size_t entry = book.find("<dt id=\"" + std::to_string(id) + "\">");
  if (entry == std::string::npos) return -1;
  const std::size_t body = book.find("<dd><p>\r\n", entry) + 9;
  book.insert(body, text);
  WriteFileAtomic(path, book);
  int line = 1;
  for (std::size_t i = 0; i < body; ++i) line += book[i] == '\n';
  return line;
}

bool LogHasLineStartingWith(TFormMain& window, const std::string& start) {
  for (const std::string& line : LogLines(window)) {
    if (line.starts_with(start)) return true;
  }
  return false;
}

class FindingsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void FindingsAreListedCopiedAndLeadToTheirEntry() {
    Workspace workspace({.disc = true, .sample_rules = false});
    auto window = workspace.Open();
    SwitchMode(*window, 1);
    auto* dock = window->findChild<QDockWidget*>("DockFindings");
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    QVERIFY(LogHasLineStartingWith(*window, "check: 0 errors, 0 warnings in "));
    QVERIFY(!dock->isVisible());

    // A character no gaiji covers, in entry 2; the gaiji command's check finds it.
    const int line = InsertIntoEntryBody(workspace / "base_folder/html_EPW", 2, "&#x2603;");
    QVERIFY(line > 0);
    window->findChild<QAction*>("creategaijifiles1")->trigger();
    QTRY_VERIFY(dock->isVisible());
    QVERIFY(LogHasLineStartingWith(*window, "check: 1 error, 0 warnings in "));
    auto* table = window->findChild<QTableWidget*>("GridFindings");
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QString("error"));
    QCOMPARE(table->item(0, 1)->text(), QString("html_EPW"));
    QCOMPARE(table->item(0, 2)->text(), QString::number(line));
    QVERIFY(table->item(0, 3)->text().contains("U+2603"));
    QVERIFY(!table->item(0, 4)->text().isEmpty());

    // Copied: the selected rows as tab-separated lines, or the whole report.
    table->selectRow(0);
    table->findChild<QAction*>("ActionCopyFindings")->trigger();
    const QString row = QApplication::clipboard()->text();
    QVERIFY2(row.startsWith(QString("error\thtml_EPW\t%1\t").arg(line)), qPrintable(row));
    QVERIFY(row.endsWith('\n') && row.count('\n') == 1);
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonCopyFindings"), Qt::LeftButton);
    const QString all = QApplication::clipboard()->text();
    QVERIFY2(all.startsWith(QString("html_EPW:%1: error: ").arg(line)), qPrintable(all));
    QVERIFY(all.contains("\ncheck: 1 error, 0 warnings in "));

    // A double-click previews entry 2 beside the pages.
    const QRect cell = table->visualItemRect(table->item(0, 3));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_COMPARE(window->findChild<QLineEdit*>("EditIndex")->text(), QString("2"));
    QVERIFY(window->findChild<QPlainTextEdit*>("MemoEpwOutput")->toPlainText().contains("<dt id=\"2\">"));
    QTRY_VERIFY(window->findChild<QWidget*>("PageControl2")->width() > 300);

    // Re-building the book removes the fault, and the dock goes with it.
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonRebuildHtml"), Qt::LeftButton);
    QTRY_VERIFY(!dock->isVisible());
    QCOMPARE(table->rowCount(), 0);
  }
};

const bool kRegistered = RegisterTestClass<FindingsViewTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "findings_view_test.moc"
