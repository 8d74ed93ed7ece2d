// Writes the window's picture for the documentation when TAVEX_WINDOW_SCREENSHOT names a
// PNG file: operating mode 1 after a create run on the sample disc, an entry previewed,
// the window at its designed size so the right page control shows.
#include <cstdlib>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

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
};

const bool kRegistered = RegisterTestClass<ScreenshotTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "screenshot_test.moc"
