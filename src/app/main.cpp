// tavex2epwing-gui [--workspace DIR]: the workbench window over a workspace folder.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>

#include <exception>

#include "app/form_main.h"
#include "app/window_fonts.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tavex2epwing-gui");
  QApplication::setFont(tavex::app::WindowFont());

  QCommandLineParser parser;
  parser.setApplicationDescription("The TAVEX to EPWING workbench window.");
  parser.addHelpOption();
  const QCommandLineOption workspace({"w", "workspace"},
                                     "The folder that holds the settings, base_folder and working_folder "
                                     "(default: the current folder).",
                                     "DIR", ".");
  parser.addOption(workspace);
  parser.process(app);

  tavex::WorkbenchOptions options;
  options.workspace = QDir(parser.value(workspace)).absolutePath().toStdString();
  std::unique_ptr<tavex::app::TFormMain> window;
  try {
    window = std::make_unique<tavex::app::TFormMain>(options);
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, tavex::app::kWindowCaption, QString::fromUtf8(e.what()));
    return 1;
  }
  window->show();
  return QApplication::exec();
}
