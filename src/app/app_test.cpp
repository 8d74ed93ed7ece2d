// The window test binary: runs every registered QTest class on the offscreen platform,
// and the shared helpers of window_test_support.h.
#include <cstdlib>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>

#include "app/window_fonts.h"
#include "app/window_test_support.h"
#include "pipeline/settings.h"
#include "sample/sample_disc.h"
#include "sample/sample_rules.h"

namespace tavex::app::testing {

Workspace::Workspace(Options options) {
  if (options.sample_rules) sample::WriteSampleRules(dir_ / "xsl_data.xml");
  if (options.disc) {
    sample::SampleDiscOptions disc;
    disc.entries = 24;
    disc.recordings = 4;
    sample::WriteSampleDisc(this->disc(), disc);
    Settings settings;
    settings.src_folder = this->disc();
    SaveSettings(dir_ / "TAVEX_to_EPWING.ini", settings);
  }
}

std::unique_ptr<TFormMain> Workspace::Open() const {
  WorkbenchOptions options;
  options.workspace = path();
  auto window = std::make_unique<TFormMain>(options);
  window->show();
  return window;
}

DialogDriver::DialogDriver() {
  connect(&timer_, &QTimer::timeout, this, &DialogDriver::Poll);
  timer_.start(10);
}

void DialogDriver::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || handlers_.empty() || modal->property("tavex_answered").toBool()) return;
  modal->setProperty("tavex_answered", true);
  auto handler = std::move(handlers_.front());
  handlers_.pop_front();
  handler(modal);
}

std::function<void(QWidget*)> ClickMessageButton(int standard_button, QString* text) {
  return [standard_button, text](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box) {
      widget->close();
      return;
    }
    if (text) *text = box->text();
    if (QAbstractButton* button = box->button(static_cast<QMessageBox::StandardButton>(standard_button))) {
      button->click();
    } else {
      box->close();
    }
  };
}

std::function<void(QWidget*)> ChooseFolder(const std::string& folder, QString* title) {
  return [folder, title](QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    if (!dialog) {
      widget->close();
      return;
    }
    if (title) *title = dialog->windowTitle();
    // The dialog goes into the folder and is accepted there with no name typed, so that
    // it answers with the folder it stands in whenever its file list is read.
    dialog->setDirectory(QString::fromStdString(folder));
    if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->clear();
    static_cast<QDialog*>(dialog)->accept();
  };
}

std::function<void(QWidget*)> EnterInteger(int value) {
  return [value](QWidget* widget) {
    auto* dialog = qobject_cast<QInputDialog*>(widget);
    if (!dialog) {
      widget->close();
      return;
    }
    dialog->setIntValue(value);
    dialog->accept();
  };
}

void SwitchMode(TFormMain& window, int mode) {
  DialogDriver driver;
  driver.Then(EnterInteger(mode));
  window.findChild<QAction*>("operatingmode1")->trigger();
}

std::vector<std::string> LogLines(TFormMain& window) {
  std::vector<std::string> lines;
  const QString text = window.findChild<QPlainTextEdit*>("Memo5")->toPlainText();
  for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) lines.push_back(line.toStdString());
  return lines;
}

std::vector<std::function<QObject*()>>& TestClasses() {
  static std::vector<std::function<QObject*()>> classes;
  return classes;
}

}  // namespace tavex::app::testing

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt keeps its own settings (the file dialogs' history) under the user's settings
  // home: the tests get a private one, so they never write into ~/.config.
  tavex::testing::TempDir settings_home;
  setenv("XDG_CONFIG_HOME", settings_home.path().c_str(), 1);
  QApplication app(argc, argv);
  QApplication::setFont(tavex::app::WindowFont());
  int failures = 0;
  for (const auto& make : tavex::app::testing::TestClasses()) {
    std::unique_ptr<QObject> test(make());
    failures += QTest::qExec(test.get(), argc, argv);
  }
  std::printf("window tests: %s\n", failures == 0 ? "all passed" : "FAILED");
  return failures == 0 ? 0 : 1;
}
