// tavex2epwing-gui [--workspace DIR]: the workbench window over a workspace folder.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>
#include <exception>

#include "app/form_main.h"
#include "app/window_fonts.h"

int main(int argc, char** argv) {
  // The options are read before the application object exists, so that --help and
  // --version answer without a display (in a build, a package check or over ssh).
  QCommandLineParser parser;
  parser.setApplicationDescription("The TAVEX to EPWING workbench window.");
  const QCommandLineOption help({"h", "help"}, "Displays help on commandline options.");
  const QCommandLineOption version("version", "Displays version information.");
  const QCommandLineOption workspace({"w", "workspace"},
                                     "The folder that holds the settings, base_folder and working_folder "
                                     "(default: the current folder).",
                                     "DIR", ".");
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(workspace);
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "tavex2epwing-gui: %s\n", qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(version)) {
    std::printf("tavex2epwing %s\n", TAVEX_VERSION);
    return 0;
  }
  if (parser.isSet(help)) {
    std::fputs(qPrintable(parser.helpText().replace("<executable_name>", "tavex2epwing-gui")), stdout);
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("tavex2epwing-gui");
  QApplication::setApplicationVersion(TAVEX_VERSION);
  // Ties the window to its menu entry (its name and icon on Wayland desktops).
  QGuiApplication::setDesktopFileName("tavex2epwing-gui");
  QApplication::setFont(tavex::app::WindowFont());

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
