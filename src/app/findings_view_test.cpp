// The check after a command, driven as a user would: a book with a fault lists it, copies it as text, and a double-click
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

#include <vector>

#include "app/window_test_support.h"
#include "fs/files.h"

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

// The rows of the findings table whose severity is `severity`.
std::vector<int> RowsOf(const QTableWidget& table, const QString& severity) {
  std::vector<int> rows;
  for (int row = 0; row < table.rowCount(); ++row) {
    if (table.item(row, 0)->text() == severity) rows.push_back(row);
  }
  return rows;
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
    auto* table = window->findChild<QTableWidget*>("GridFindings");
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    // The sample disc's record that does not parse gives an entry with only a heading:
    // warnings, listed, and no error.
    QVERIFY(LogHasLineStartingWith(*window, "check: 0 errors, 1 warning in "));
    QTRY_VERIFY(dock->isVisible());
    QVERIFY(table->rowCount() > 0);
    QCOMPARE(RowsOf(*table, "error"), std::vector<int>{});

    // A character no gaiji covers, in entry 2; the gaiji command's check finds it.
    const int line = InsertIntoEntryBody(workspace / "base_folder/html_EPW", 2, "&#x2603;");
    QVERIFY(line > 0);
    window->findChild<QAction*>("creategaijifiles1")->trigger();
    QTRY_COMPARE(RowsOf(*table, "error").size(), std::size_t{1});
    QVERIFY(LogHasLineStartingWith(*window, "check: 1 error, 1 warning in "));
    const int row = RowsOf(*table, "error").front();
    QCOMPARE(table->item(row, 1)->text(), QString("html_EPW"));
    QCOMPARE(table->item(row, 2)->text(), QString::number(line));
    QVERIFY(table->item(row, 3)->text().contains("U+2603"));
    QVERIFY(!table->item(row, 4)->text().isEmpty());

    // Copied: the selected rows as tab-separated lines, or the whole report.
    table->selectRow(row);
    table->findChild<QAction*>("ActionCopyFindings")->trigger();
    const QString copied = QApplication::clipboard()->text();
    QVERIFY2(copied.startsWith(QString("error\thtml_EPW\t%1\t").arg(line)), qPrintable(copied));
    QVERIFY(copied.endsWith('\n') && copied.count('\n') == 1);
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonCopyFindings"), Qt::LeftButton);
    const QString all = QApplication::clipboard()->text();
    QVERIFY2(all.contains(QString("html_EPW:%1: error: ").arg(line)), qPrintable(all));
    QVERIFY(all.contains("\ncheck: 1 error, 1 warning in "));

    // A double-click previews entry 2 beside the pages.
    const QRect cell = table->visualItemRect(table->item(row, 3));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_COMPARE(window->findChild<QLineEdit*>("EditIndex")->text(), QString("2"));
    QVERIFY(window->findChild<QPlainTextEdit*>("MemoEpwOutput")->toPlainText().contains("<dt id=\"2\">"));
    QTRY_VERIFY(window->findChild<QWidget*>("PageControl2")->width() > 300);

    // Re-building the book removes the fault; the warnings stay.
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonRebuildHtml"), Qt::LeftButton);
    QTRY_COMPARE(RowsOf(*table, "error"), std::vector<int>{});
    QVERIFY(table->rowCount() > 0);
  }
};

const bool kRegistered = RegisterTestClass<FindingsViewTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "findings_view_test.moc"
