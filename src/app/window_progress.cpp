// The progress convention and the standard dialogs, as the window shows them.
#include "app/window_progress.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>

namespace tavex::app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::optional<std::string> ChooseFile(QWidget* parent, const std::string& title, const std::string& initial_path,
                                      QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, FromUtf8(title));
  dialog.setObjectName(mode == QFileDialog::AcceptSave ? "SaveDialog1" : "OpenDialog1");
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters({"XML (*.xml)", QObject::tr("All files (*)")});
  if (!initial_path.empty()) {
    const QFileInfo initial(FromUtf8(initial_path));
    dialog.setDirectory(initial.absolutePath());
    dialog.selectFile(initial.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace

WindowProgress::WindowProgress(QProgressBar* bar, QLabel* status, QPlainTextEdit* log)
    : bar_(bar), status_(status), log_(log) {}

void WindowProgress::SetRange(int maximum) {
  bar_->setRange(0, maximum);
  bar_->setValue(0);
}

void WindowProgress::SetPosition(int position, int maximum, const std::string& status) {
  if (bar_->maximum() != maximum) bar_->setMaximum(maximum);
  bar_->setValue(position);
  status_->setText(FromUtf8(status));
}

void WindowProgress::AppendLog(const std::string& line) { log_->appendPlainText(FromUtf8(line)); }

void WindowProgress::Warn(const std::string& message) { log_->appendPlainText("warning: " + FromUtf8(message)); }

void WindowProgress::ProcessEvents() { QCoreApplication::processEvents(); }

void WindowProgress::Reset() {
  bar_->setValue(0);
  status_->clear();
}

void WindowProgress::Finish(bool failed) {
  status_->clear();
  if (failed) bar_->setValue(0);
}

bool WindowPrompter::AskYesNo(const std::string& question) {
  return QMessageBox::question(parent_, kWindowCaption, FromUtf8(question), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> WindowPrompter::ChooseOpenFile(const std::string& title, const std::string& initial_path) {
  return ChooseFile(parent_, title, initial_path, QFileDialog::AcceptOpen);
}

std::optional<std::string> WindowPrompter::ChooseSaveFile(const std::string& title, const std::string& initial_path) {
  return ChooseFile(parent_, title, initial_path, QFileDialog::AcceptSave);
}

std::optional<std::string> WindowPrompter::InputText(const std::string& caption, const std::string& prompt,
                                                     const std::string& initial) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent_, FromUtf8(caption), FromUtf8(prompt), QLineEdit::Normal, FromUtf8(initial), &ok);
  if (!ok) return std::nullopt;
  return text.toStdString();
}

void WindowPrompter::ShowMessage(const std::string& text) {
  QMessageBox::information(parent_, kWindowCaption, FromUtf8(text));
}

}  // namespace tavex::app
