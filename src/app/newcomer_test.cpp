// The window as a newcomer meets it in the first hour: the sample disc without a disc,
// a create run in operating mode 0 and then in mode 1 in the same window, a source
// typed into the field, errors that speak of the window's own buttons, mode 2 on a new
// workspace, and the about box.
#include <algorithm>

#include <QAction>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include "app/window_test_support.h"
#include "fs/files.h"
#include "sample/sample_disc.h"

namespace tavex::app::testing {
namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Clicks `button` and returns the text of the error box it brings up, or an empty text.
QString ErrorOfClick(QPushButton* button) {
  QString message;
  DialogDriver driver;
  driver.Then(ClickMessageButton(QMessageBox::Ok, &message));
  QTest::mouseClick(button, Qt::LeftButton);
  return message;
}

class NewcomerTest : public QObject {
  Q_OBJECT

 private slots:
  void SampleDiscThenModeZeroThenModeOne() {
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonSample"), Qt::LeftButton);
    const std::string disc = workspace / "sample_disc";
    QCOMPARE(window->findChild<QLineEdit*>("Edit1")->text().toStdString(), disc);
    QVERIFY(FolderExists(disc + "/tavex.data/fs.skn"));
    QVERIFY(FileExists(workspace / "xsl_data.xml"));

    // Mode 0: the log ends saying where the book went; the working folder goes.
    auto* create = window->findChild<QPushButton*>("Button2");
    QString failure = ErrorOfClick(create);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    std::vector<std::string> log = LogLines(*window);
    QVERIFY(HasLine(log, "the book's source is in " + workspace / "base_folder"));
    QVERIFY(
        HasLine(log, "the EPWING book is in " + workspace / "epwing" + " (open it in GoldenDict or eblook)"));
    QVERIFY(FileExists(workspace / "epwing/CATALOGS"));
    QVERIFY(!FolderExists(workspace / "working_folder"));

    // Mode 1 in the same window: the run makes the working folder the mode 0 run removed,
    // and the tag editor's "show" previews an entry of it.
    SwitchMode(*window, 1);
    failure = ErrorOfClick(create);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(FileExists(workspace / "working_folder/TAVEX_data"));
    window->findChild<QLineEdit*>("EditIndex")->setText("2");
    failure = ErrorOfClick(window->findChild<QPushButton*>("ButtonShow"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(!window->findChild<QTextBrowser*>("WebBrowserWB")->toPlainText().isEmpty());
  }

  void TypedSourceCountsAndCancelKeepsIt() {
    Workspace workspace({.disc = false, .sample_rules = false});
    const std::string disc = workspace / "typed disc";
    sample::WriteSampleDisc(disc, {.entries = 8, .recordings = 2, .seed = 5});
    auto window = workspace.Open();
    auto* field = window->findChild<QLineEdit*>("Edit1");
    QTest::keyClicks(field, QString::fromStdString(disc));
    QTest::keyClick(field, Qt::Key_Return);

    // A cancelled folder dialog is no choice: the typed path stays.
    {
      DialogDriver driver;
      driver.Then([](QWidget* dialog) { dialog->close(); });
      QTest::mouseClick(window->findChild<QPushButton*>("Button1"), Qt::LeftButton);
      QVERIFY(driver.done());
    }
    QCOMPARE(field->text().toStdString(), disc);

    const QString failure = ErrorOfClick(window->findChild<QPushButton*>("Button2"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(FileExists(workspace / "base_folder/html_EPW"));
  }

  void ErrorsSpeakOfTheWindowAndModeTwoLeavesNothing() {
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    auto* create = window->findChild<QPushButton*>("Button2");
    QString message = ErrorOfClick(create);
    QVERIFY2(message.contains("\"source drive\"") && message.contains("\"sample disc\""),
             qPrintable(message));
    QVERIFY2(!message.contains("-s SOURCE") && !message.contains('`'), qPrintable(message));

    SwitchMode(*window, 1);
    message = ErrorOfClick(window->findChild<QPushButton*>("ButtonShow"));
    QVERIFY2(message.contains("holds no entries yet: press \"create\""), qPrintable(message));
    QVERIFY2(!message.contains('`') && !message.contains("-m 1"), qPrintable(message));

    // Mode 2 keeps the stylesheets of an earlier run: without them the run, and the
    // sample disc it would convert, stop in one line naming mode 1 and write nothing.
    SwitchMode(*window, 2);
    for (const char* button : {"ButtonSample", "Button2"}) {
      message = ErrorOfClick(window->findChild<QPushButton*>(button));
      QVERIFY2(message.contains("press \"create\" once in operating mode 1") && !message.contains('\n'),
               qPrintable(message));
    }
    for (const char* name : {"base_folder", "working_folder", "sample_disc", "xsl_data.xml", "epwing"}) {
      QVERIFY2(!FileExists(workspace / name) && !FolderExists(workspace / name), name);
    }
  }

  void AboutBoxNamesTheVersionTheBookAndTheLicence() {
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    QString text;
    QString title;
    DialogDriver driver;
    driver.Then([&](QWidget* box) {
      title = box->windowTitle();
      ClickMessageButton(QMessageBox::Ok, &text)(box);
    });
    window->findChild<QAction*>("aboutthisprogram1")->trigger();
    QVERIFY(driver.done());
    QCOMPARE(title, QString("TAVEX_to_EPWING"));
    QVERIFY(text.startsWith("TAVEX_to_EPWING ver.1.0b\ntavex2epwing " TAVEX_VERSION "\n"));
    QVERIFY(text.contains("writes the EPWING book itself"));
    QVERIFY(text.contains("MIT licence"));
  }
};

const bool kRegistered = RegisterTestClass<NewcomerTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "newcomer_test.moc"
