// The window keeps a user's work and tells the truth about what it did: tag rules edited
// in operating mode 1 outlive the mode 0 window that opens next, a failed run ends its
// log with its failure, the tag editor and the preview show the rules as they are, and
// the findings count each check's own.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app/findings_view.h"
#include "app/window_test_support.h"
#include "fs/files.h"
#include "sample/sample_disc.h"

namespace tavex::app::testing {
namespace {

template <typename T>
T* Find(TFormMain& window, const char* name) {
  return window.findChild<T*>(name);
}

void Click(TFormMain& window, const char* button) {
  QTest::mouseClick(Find<QPushButton>(window, button), Qt::LeftButton);
}

// A create run in operating mode 1 without the EPWING book.
void CreateInModeOne(TFormMain& window) {
  SwitchMode(window, 1);
  Find<QCheckBox>(window, "CheckBoxEpwing")->setChecked(false);
  Click(window, "Button2");
}

int RowOf(TFormMain& window, const std::string& tag) {
  const auto& rows = window.workbench().tag_rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].tag == tag) return static_cast<int>(i);
  }
  return -1;
}

// A single click on the tag's row of the tag grid.
void ClickTagRow(TFormMain& window, const std::string& tag) {
  auto* grid = Find<QTableView>(window, "StringGrid1");
  const QModelIndex cell = grid->model()->index(RowOf(window, tag), 0);
  grid->scrollTo(cell);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
}

void Tick(TFormMain& window, const char* option) {
  Find<QListWidget>(window, "CheckListBox1")->findItems(option, Qt::MatchExactly).first()->setCheckState(Qt::Checked);
}

// The rule row of `tag` in an exchange file: from its <tag> to its </tags>.
QString RuleInFile(const std::string& file, const std::string& tag) {
  const std::string text = ReadFile(file);
  const std::size_t start = text.find("<tag>" + tag + "</tag>");
  if (start == std::string::npos) return {};
  return QString::fromStdString(text.substr(start, text.find("</tags>", start) - start));
}

class KeptWorkTest : public QObject {
  Q_OBJECT

 private slots:
  void EditedRulesOutliveOperatingModeZero() {
    Workspace workspace({.disc = true, .sample_rules = true});
    {
      auto window = workspace.Open();
      QVERIFY(Find<QLabel>(*window, "LabelMode")->text().startsWith("operating mode 0"));
      QVERIFY(!FileExists(workspace / "TAVEX_to_EPWING.lock"));  // opening changes nothing
      CreateInModeOne(*window);
      ClickTagRow(*window, "h");
      Tick(*window, "italic");
      Click(*window, "ButtonUpdateXls");
      QVERIFY(window->close());  // mode 1 keeps working_folder and asks nothing
    }

    // The next window opens in mode 0: its create asks first; a cancel changes nothing.
    auto window = workspace.Open();
    Find<QCheckBox>(*window, "CheckBoxEpwing")->setChecked(false);
    QString question;
    {
      DialogDriver driver;
      driver.Then(ClickMessageButton(QMessageBox::Cancel, &question));
      Click(*window, "Button2");
      QVERIFY(driver.done());
    }
    QVERIFY2(question.contains("Keep them as " + QString::fromStdString(workspace / "xsl_data.xml")),
             qPrintable(question));
    QVERIFY(LogLines(*window).back().starts_with("create: not started"));
    QVERIFY(!RuleInFile(workspace / "xsl_data.xml", "h").contains("<italic>1</italic>"));
    {
      DialogDriver driver;
      driver.Then(ClickMessageButton(QMessageBox::Yes));
      Click(*window, "Button2");
      QVERIFY(driver.done());
    }
    QVERIFY(RuleInFile(workspace / "xsl_data.xml", "h").contains("<italic>1</italic>"));
    QVERIFY(ReadFile(workspace / "base_folder/html_EPW").find("<b><i>") != std::string::npos);
    QVERIFY(!FolderExists(workspace / "working_folder"));

    // Closing in mode 0 asks too: a cancel keeps the window, "drop" lets the rules go.
    CreateInModeOne(*window);
    RuleRow rule = *window->workbench().LoadTagOptions("p");
    rule.bold = "1";
    window->workbench().SaveTagOptions("p", rule);
    SwitchMode(*window, 0);
    {
      DialogDriver driver;
      driver.Then(ClickMessageButton(QMessageBox::Cancel));
      QVERIFY(!window->close());
      QVERIFY(driver.done());
    }
    QVERIFY(FolderExists(workspace / "working_folder"));
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::No));
    QVERIFY(window->close());
    QVERIFY(driver.done());
    QVERIFY(!FolderExists(workspace / "working_folder"));
  }

  void AFailedRunEndsItsLogWithTheFailure() {
    Workspace workspace({.disc = true, .sample_rules = true});
    auto window = workspace.Open();
    CreateInModeOne(*window);
    auto* bar = Find<QProgressBar>(*window, "ProgressBar1");
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(Find<QLabel>(*window, "Label9")->text().isEmpty());

    // Another disc: the steps keep the tables, and the log says whose they are.
    const std::string other = workspace / "other";
    sample::WriteSampleDisc(other, {.entries = 6, .recordings = 2});
    Find<QLineEdit>(*window, "Edit1")->setText(QString::fromStdString(other));
    Click(*window, "Button2");
    const std::string said = "the tables in " + (workspace / "working_folder") + " come from the disc in " +
                             workspace.disc() + ", not from " + other;
    QVERIFY(std::ranges::any_of(LogLines(*window), [&](const std::string& line) { return line.starts_with(said); }));

    // A source that does not exist stops the run before its first step.
    Find<QLineEdit>(*window, "Edit1")->setText("/nonexistent/disc");
    const std::size_t lines = LogLines(*window).size();
    QString message;
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::Ok, &message));
    Click(*window, "Button2");
    QVERIFY(driver.done());
    QCOMPARE(message, QString("source folder /nonexistent/disc does not exist"));
    const std::vector<std::string> log = LogLines(*window);
    QCOMPARE(log.size(), lines + 1);
    QCOMPARE(log.back(), std::string("error: source folder /nonexistent/disc does not exist"));
    QCOMPARE(bar->value(), 0);
  }

  void TheTagEditorAndThePreviewShowTheCurrentRules() {
    Workspace workspace({.disc = true, .sample_rules = true});
    auto window = workspace.Open();
    CreateInModeOne(*window);
    auto* epw = Find<QPlainTextEdit>(*window, "MemoEpwOutput");

    // One click loads a tag; "update xls" shows its new template, and its flags as 0 or 1.
    ClickTagRow(*window, "pos");
    QCOMPARE(Find<QComboBox>(*window, "ComboBox1")->currentText(), QString("pos"));
    Tick(*window, "sup");
    Click(*window, "ButtonUpdateXls");
    QVERIFY(Find<QPlainTextEdit>(*window, "MemoTemplate")->toPlainText().contains("<sup>"));
    auto* grid = Find<QTableView>(*window, "StringGrid1")->model();
    QCOMPARE(grid->data(grid->index(RowOf(*window, "pos"), 3)).toString(), QString("0"));  // bold
    const std::string exported = workspace / "exported.xml";
    window->workbench().ExportTable(RuleTable::kXsl, exported);
    QVERIFY(RuleInFile(exported, "pos").contains("<bold>0</bold><italic>1</italic><sup>1</sup>"));

    // "cafe" finds café as the book's keys do; a word no title has is said so.
    const std::optional<int> cafe = window->workbench().FindEntryByTitle("café");
    QVERIFY(cafe.has_value());
    Find<QLineEdit>(*window, "EditSearchWord")->setText("CAFE");
    Click(*window, "ButtonSearch");
    QCOMPARE(Find<QLineEdit>(*window, "EditIndex")->text(), QString::number(*cafe));
    {
      QString message;
      DialogDriver driver;
      driver.Then(ClickMessageButton(QMessageBox::Ok, &message));
      Find<QLineEdit>(*window, "EditSearchWord")->setText("zzzz");
      Click(*window, "ButtonSearch");
      QVERIFY(driver.done());
      QVERIFY2(message.startsWith("no entry is titled \"zzzz\""), qPrintable(message));
    }

    // Declined suggestions leave the preview of the saved rules.
    Find<QLineEdit>(*window, "EditIndex")->setText("0");
    Click(*window, "ButtonShow");
    const QString saved = epw->toPlainText();
    {
      DialogDriver driver;
      driver.Then(ClickMessageButton(QMessageBox::No));
      Click(*window, "ButtonSuggest");
      QVERIFY(driver.done());
    }
    QCOMPARE(epw->toPlainText(), saved);

    // An imported rule shows at once, and the import is logged.
    std::string rules = ReadFile(exported);
    const std::size_t h = rules.find("<tag>h</tag>");
    const std::string off = "<italic>0</italic>";
    rules.replace(rules.find(off, h), off.size(), "<italic>1</italic>");
    WriteFileAtomic(exported, rules);
    {
      DialogDriver driver;
      driver.Then(ClickMessageButton(QMessageBox::Yes));
      try {
        window->ImportXslRules(exported);
      } catch (const std::exception& e) {
        QFAIL(e.what());
      }
      QVERIFY(driver.done());
    }
    QVERIFY2(epw->toPlainText().contains("<b><i>"), qPrintable(epw->toPlainText().left(400)));
    QCOMPARE(LogLines(*window).back(), "xsl_import: the table xsl was replaced from " + exported);

    // re-build html builds the EPWING book again when it is built by default, else says
    // that the book is older than its source.
    Find<QCheckBox>(*window, "CheckBoxEpwing")->setChecked(true);
    Click(*window, "ButtonRebuildHtml");
    QVERIFY(FileExists(workspace / "epwing/CATALOGS"));
    QVERIFY(std::ranges::any_of(LogLines(*window), [](const std::string& l) { return l.starts_with("EPWING book: "); }));
    Find<QCheckBox>(*window, "CheckBoxEpwing")->setChecked(false);
    Click(*window, "ButtonRebuildHtml");
    QVERIFY(LogLines(*window).back().starts_with("the EPWING book in " + workspace / "epwing" +
                                                 " is older than its source now"));
  }

  void TheFindingsCountEachCheckOnItsOwn() {
    FindingsView view;
    check::CheckReport report;
    report.base_folder = "/w/base_folder";
    check::Finding error;
    error.file = "html_EPW";
    error.message = "m";
    report.findings.push_back(error);
    verify::VerifyReport verify;
    verify::FindingGroup warnings;
    warnings.severity = check::Finding::kWarning;
    warnings.kind = "k";
    warnings.count = 2;
    warnings.examples.resize(2);
    for (verify::VerifyFinding& example : warnings.examples) example.severity = check::Finding::kWarning;
    verify.groups.push_back(warnings);
    view.ShowReport(report, &verify);
    const QStringList summary = view.findChild<QLabel*>("LabelFindings")->text().split('\n');
    QCOMPARE(summary.size(), 2);
    QCOMPARE(summary[0], QString("check: 1 error, 0 warnings in /w/base_folder"));
    QVERIFY2(summary[1].startsWith("verify: ") && summary[1].endsWith("0 errors, 2 warnings"),
             qPrintable(summary[1]));
    QVERIFY(view.AllText().endsWith(summary.join('\n') + '\n'));
  }
};

const bool kRegistered = RegisterTestClass<KeptWorkTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "kept_work_test.moc"
