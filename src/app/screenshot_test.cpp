// Writes the window's picture for the documentation when TAVEX_WINDOW_SCREENSHOT names a
// PNG file: operating mode 1 after a create run on the sample disc, an entry previewed,
// the window at its designed size so the right page control shows. With
// TAVEX_WINDOW_SHOTS naming a folder, writes the pictures of a newcomer's first steps
// into it, to be looked at: the sample disc chosen, its mode 0 run, the operating mode
// dialog, the mode 1 run after it, and the about box.
#include <QAction>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>

#include "app/window_test_support.h"

namespace tavex::app::testing {
namespace {

class ScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void WritesTheWindowsPicture() {
    const char* path = std::getenv("TAVEX_WINDOW_SCREENSHOT");
    if (!path || !*path) QSKIP("TAVEX_WINDOW_SCREENSHOT names no file");
    Workspace workspace;
    auto window = workspace.Open();
    SwitchMode(*window, 1);
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    window->findChild<QLineEdit*>("EditIndex")->setText("2");
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonShow"), Qt::LeftButton);
    window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(0);
    window->findChild<QTabWidget*>("PageControl2")->setCurrentIndex(0);
    window->resize(1061, 765);
    QTest::qWait(200);
    QVERIFY(window->grab().save(QString::fromLocal8Bit(path), "PNG"));
    QVERIFY(window->close());
  }

  void WritesTheFirstStepsPictures() {
    const char* folder = std::getenv("TAVEX_WINDOW_SHOTS");
    if (!folder || !*folder) QSKIP("TAVEX_WINDOW_SHOTS names no folder");
    auto save = [folder](QWidget* widget, const char* name) {
      QTest::qWait(100);
      QVERIFY(widget->grab().save(QString::fromLocal8Bit(folder) + "/" + name, "PNG"));
    };
    Workspace workspace({.disc = false, .sample_rules = false});
    auto window = workspace.Open();
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonSample"), Qt::LeftButton);
    save(window.get(), "sample-choice.png");
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    save(window.get(), "sample-mode0-create.png");
    {
      DialogDriver driver;
      driver.Then([&](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        QVERIFY(input);
        input->setIntValue(1);
        save(dialog, "mode-switch-dialog.png");
        input->accept();
      });
      window->findChild<QAction*>("operatingmode1")->trigger();
    }
    QTest::mouseClick(window->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    window->findChild<QLineEdit*>("EditIndex")->setText("2");
    window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    QTest::mouseClick(window->findChild<QPushButton*>("ButtonShow"), Qt::LeftButton);
    window->resize(1061, 765);
    save(window.get(), "mode1-after-mode0.png");
    window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(0);
    save(window.get(), "mode1-after-mode0-log.png");
    {
      DialogDriver driver;
      driver.Then([&](QWidget* box) {
        save(box, "about.png");
        qobject_cast<QMessageBox*>(box)->accept();
      });
      window->findChild<QAction*>("aboutthisprogram1")->trigger();
    }
    QVERIFY(window->close());
  }
};

const bool kRegistered = RegisterTestClass<ScreenshotTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "screenshot_test.moc"
