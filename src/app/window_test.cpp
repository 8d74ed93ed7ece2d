// The main window driven as a user would: start-up on an empty workspace, the operating
// modes, the create run on the sample disc, the EPWING book built from its result, the
// general error display, a run refused while another holds the workspace, an import that
// is declined, and the close.
#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/window_test_support.h"
#include "pipeline/settings.h"
#include "fs/files.h"
#include "fs/workspace_lock.h"

namespace tavex::app::testing {
namespace {

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsOnAnEmptyWorkspace() {
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    QCOMPARE(window->windowTitle(), QString("TAVEX_to_EPWING"));
    const std::string database = workspace / "working_folder/TAVEX_data";
    QCOMPARE(window->findChild<QLineEdit*>("Edit2")->text().toStdString(), database);
    // Opening the window makes nothing in the workspace: the commands make what they need.
    QVERIFY(!FolderExists(workspace / "working_folder"));
    QVERIFY(!FolderExists(workspace / "base_folder"));
    QVERIFY(window->findChild<QCheckBox*>("CheckBox1")->isChecked());
    QVERIFY(window->findChild<QCheckBox*>("CheckBoxEpwing")->isChecked());
    QCOMPARE(window->findChild<QLineEdit*>("EditIndex")->text(), QString("0"));

    // Work-area defaults, then narrowed to the left page control by operating mode 0.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window->pos(), QPoint(area.left() + area.width() / 10, area.top()));
    QCOMPARE(window->height(), area.height());
    QCOMPARE(window->width(), kLeftPageWidth);
  }

  void ModesShowAndHideTheWorkbench() {
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    auto* left = window->findChild<QTabWidget*>("PageControl1");
    const QStringList workbench_menus = {"DBtool1", "gaijitool1", "mp3tool1", "xmldata1", "epwing1"};
    auto check_layout = [&](bool all) {
      for (const QString& name : workbench_menus) {
        QCOMPARE(window->findChild<QMenu*>(name)->menuAction()->isVisible(), all);
      }
      QVERIFY(window->findChild<QMenu*>("about1")->menuAction()->isVisible());
      // File → Quit in every mode; the settings item only beside the workbench.
      QVERIFY(window->findChild<QMenu*>("File1")->menuAction()->isVisible());
      QCOMPARE(window->findChild<QAction*>("N1")->isVisible(), all);
      QVERIFY(left->isTabVisible(0));
      QCOMPARE(left->isTabVisible(1), all);
      QCOMPARE(left->isTabVisible(2), all);
      QCOMPARE(window->findChild<QWidget*>("PageControl2")->isVisible(), all);
      QCOMPARE(window->findChild<QWidget*>("PanelDatabase")->isVisible(), all);
      QCOMPARE(window->findChild<QWidget*>("CheckBox2")->isVisible(), all);
      QCOMPARE(window->width(), kLeftPageWidth);
      const bool fixed = window->minimumWidth() == window->maximumWidth();
      QCOMPARE(fixed, !all);
    };
    check_layout(false);
    SwitchMode(*window, 1);
    QCOMPARE(window->workbench().mode().value, 1);
    check_layout(true);
    // Widened, the right page control comes into view beside the left one.
    window->resize(1061, 765);
    QTRY_VERIFY(window->findChild<QWidget*>("PageControl2")->width() > 300);
    // Mode 2 keeps the widened window and its preview; the dialog shows the current mode.
    SwitchMode(*window, 2);
    QCOMPARE(window->width(), 1061);
    QVERIFY(window->findChild<QLabel*>("LabelMode")->text().startsWith("operating mode 2"));
    int shown = -1;
    {
      DialogDriver driver;
      driver.Then([&shown](QWidget* widget) {
        auto* dialog = qobject_cast<QInputDialog*>(widget);
        shown = dialog->intValue();
        dialog->setIntValue(0);
        dialog->accept();
      });
      window->findChild<QAction*>("operatingmode1")->trigger();
    }
    QCOMPARE(shown, 2);
    check_layout(false);
    window->findChild<QAction*>("Quit1")->trigger();
    QVERIFY(!window->isVisible());
  }

  void CreateRunFillsTheLogAndTheBar() {
    Workspace workspace({.disc = true, .sample_rules = false});
    auto window = workspace.Open();
    SwitchMode(*window, 1);

    // The source comes from the folder dialog titled "Select Data Folder".
    QString title;
    {
      DialogDriver driver;
      driver.Then(ChooseFolder(workspace.disc(), &title));
      QTest::mouseClick(window->findChild<QPushButton*>("Button1"), Qt::LeftButton);
      QVERIFY(driver.done());
    }
    QCOMPARE(title, QString("Select Data Folder"));
    QCOMPARE(window->findChild<QLineEdit*>("Edit1")->text().toStdString(), workspace.disc());

    // While the run lets the window handle events, no other command can start.
    auto* create = window->findChild<QPushButton*>("Button2");
    bool create_enabled_during_run = true;
    bool menu_enabled_during_run = true;
    QTimer::singleShot(0, window.get(), [&] {
      create_enabled_during_run = create->isEnabled();
      menu_enabled_during_run = window->findChild<QAction*>("extractfsskn1")->isEnabled();
    });
    QTest::mouseClick(create, Qt::LeftButton);
    QVERIFY(!create_enabled_during_run);
    QVERIFY(!menu_enabled_during_run);
    QVERIFY(create->isEnabled());

    const std::vector<std::string> expected = {
        "【Step 01】fs.sknの抽出:完了",
        "【Step 02】entry_idの抽出:完了",
        "【Step 03】charの解析:完了",
        "【Step 04】tagの解析・xsl取得:完了",
        "【Step 04】altの取得:完了",
        "【Step 05】us_pron.sknの抽出:スキップ",
        "【Step 06】uk_pron.sknの抽出:スキップ",
        "【Step 07】us_pron.mp3をwavに変換:スキップ",
        "【Step 08】uk_pron.mp3をwavに変換:スキップ",
        "【Step 09】htmlの出力:完了",
        "【Step 10】gaiji関連ファイルの出力:完了",
        "【Step 11】ebsファイルの出力:完了",
        "【Step 12】EPWINGの出力:完了",
        "***** 終了しました *****",
    };
    // Warnings (the sample disc has a broken record) go to the log between the step lines.
    std::vector<std::string> log;
    for (const auto& line : LogLines(*window)) {
      if (!line.starts_with("warning: ")) log.push_back(line);
    }
    QCOMPARE(log.size(), expected.size() + 6);
    for (std::size_t i = 0; i < expected.size(); ++i) QCOMPARE(log[i], expected[i]);
    QVERIFY(log[expected.size()].starts_with("所要時間："));
    // The pre-flight check of the book follows the run, then the book read back, then
    // where the book is.
    // The sample disc's record that does not parse leaves an entry with only a heading:
    // a warning of each check.
    QVERIFY(log[expected.size() + 1].starts_with("check: 0 errors, 1 warning in "));
    const std::string& verify = log[expected.size() + 2];
    QVERIFY2(verify.starts_with("verify: ") && verify.ends_with(" 0 errors, 1 warning"), verify.c_str());
    QCOMPARE(log[expected.size() + 3], "the book's source is in " + workspace / "base_folder");
    QCOMPARE(log[expected.size() + 4],
             "the EPWING book is in " + workspace / "epwing" + " (open it in GoldenDict or eblook)");
    // The suggested rules link the recordings, which this run left out.
    QVERIFY(log[expected.size() + 5].starts_with("the book has no pronunciations: "));
    // Their warnings are listed.
    QVERIFY(window->findChild<QWidget*>("DockFindings")->isVisible());

    auto* bar = window->findChild<QProgressBar*>("ProgressBar1");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(FileExists(workspace / "base_folder/html_EPW"));
    // The grids were reloaded by the run.
    QVERIFY(window->findChild<QTableView*>("StringGrid1")->model()->rowCount() > 0);
    QVERIFY(window->findChild<QTableView*>("StringGrid2")->model()->rowCount() > 0);
  }

  void EpwingMenuBuildsTheBookAfterACreateRun() {
    Workspace workspace({.disc = true, .sample_rules = true});
    auto window = workspace.Open();
    SwitchMode(*window, 1);
    window->findChild<QCheckBox*>("CheckBoxEpwing")->setChecked(false);
    // The other books are the same run's choice, the EPWING book left out.
    window->findChild<QCheckBox*>("CheckBoxStardict")->setChecked(true);
    window->findChild<QCheckBox*>("CheckBoxMdict")->setChecked(true);
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    QVERIFY(!FolderExists(workspace / "epwing"));
    QVERIFY(FileExists(workspace / "stardict/tavex.ifo"));
    QVERIFY(FileExists(workspace / "mdict/tavex.mdx"));

    // A failure would show in a message box; the driver closes it and keeps its text.
    QString failure;
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::Ok, &failure));
    window->findChild<QAction*>("buildepwing1")->trigger();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(FileExists(workspace / "epwing/CATALOGS"));
    // The summary, then (the sample rules link recordings the run left out) how to add them.
    const std::vector<std::string> log = LogLines(*window);
    QVERIFY(log[log.size() - 2].starts_with("EPWING book: "));
    QCOMPARE(log.back(), std::string("the book has no pronunciations: untick \"ignore mp3 files\" and press "
                                     "\"create\" to add them"));
  }

  void FailedCommandIsShownAndTheWindowStaysUsable() {
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    SwitchMode(*window, 1);
    window->findChild<QLineEdit*>("EditIndex")->setText("abc");
    QString message;
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::Ok, &message));
    auto* show = window->findChild<QPushButton*>("ButtonShow");
    QTest::mouseClick(show, Qt::LeftButton);
    QVERIFY(driver.done());
    QVERIFY2(message.contains("abc"), qPrintable(message));
    QVERIFY(show->isEnabled());
    QVERIFY(window->findChild<QPushButton*>("Button2")->isEnabled());
  }

  void AWritingCommandStopsWhileAnotherRunHoldsTheWorkspace() {
    Workspace workspace({.disc = true, .sample_rules = true});
    auto window = workspace.Open();
    SwitchMode(*window, 1);
    // Another process holds the workspace, as a command line run would.
    const pid_t holder = tavex::testing::HoldWorkspaceLockInChild(workspace.path());
    QVERIFY(holder > 0);

    // A reader runs all the same (and fails on its own account); the create run stops.
    QString reader_message;
    QString message;
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::Ok, &reader_message));
    driver.Then(ClickMessageButton(QMessageBox::Ok, &message));
    window->findChild<QLineEdit*>("EditIndex")->setText("abc");
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonShow"), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    QVERIFY(driver.done());
    QVERIFY2(reader_message.contains("abc"), qPrintable(reader_message));
    QVERIFY2(message.contains(QString("is in use by another run (process %1)").arg(holder)), qPrintable(message));
    QVERIFY(!FileExists(workspace / "base_folder/html_EPW"));
  }

  void ImportAnsweredNoIsAborted() {
    Workspace workspace({.disc = true, .sample_rules = true});
    auto window = workspace.Open();
    SwitchMode(*window, 1);
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    const std::size_t rows = window->workbench().tag_rows().size();
    QVERIFY(rows > 0);

    QString message;
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::No));
    driver.Then(ClickMessageButton(QMessageBox::Ok, &message));
    window->findChild<QAction*>("xslimport1")->trigger();
    QVERIFY(driver.done());
    QCOMPARE(message, QString("中止されました。"));
    QCOMPARE(window->workbench().tag_rows().size(), rows);
  }

  void CloseSavesSettingsAndModeZeroRemovesTheWorkingFolder() {
    Workspace workspace({.disc = false, .sample_rules = false});
    {
      auto window = workspace.Open();
      window->move(30, 40);
      window->findChild<QLineEdit*>("Edit1")->setText("/media/cdrom");
      window->findChild<QCheckBox*>("CheckBoxEpwing")->setChecked(false);
      QVERIFY(window->close());
    }
    QVERIFY(!FolderExists(workspace / "working_folder"));
    QVERIFY(!FolderExists(workspace / "base_folder"));
    const Settings saved = LoadSettings(workspace / "TAVEX_to_EPWING.ini");
    QCOMPARE(saved.form_left, 30);
    QCOMPARE(saved.form_top, 40);
    QCOMPARE(saved.form_width, kLeftPageWidth);
    QCOMPARE(saved.src_folder, std::string("/media/cdrom"));
    QVERIFY(!saved.build_epwing);

    // The next start takes the saved geometry; in mode 1 the working folder survives.
    CreateFolders(workspace / "working_folder");
    auto window = workspace.Open();
    QCOMPARE(window->pos(), QPoint(30, 40));
    QCOMPARE(window->findChild<QLineEdit*>("Edit1")->text(), QString("/media/cdrom"));
    QVERIFY(!window->findChild<QCheckBox*>("CheckBoxEpwing")->isChecked());
    SwitchMode(*window, 1);
    QVERIFY(window->close());
    QVERIFY(FolderExists(workspace / "working_folder"));
  }
};

const bool kRegistered = RegisterTestClass<WindowTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "window_test.moc"
