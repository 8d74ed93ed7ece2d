// The five preview views. The two browser views render HTML given as a whole document;
// the three text views show Shift_JIS texts converted for display.
#include "app/preview_views.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QTextBrowser>

#include "app/window_fonts.h"
#include "text/cp932.h"

namespace tavex::app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QTextBrowser* NewBrowser(const char* name) {
  auto* browser = new QTextBrowser;
  browser->setObjectName(name);
  // The entry's links (cross references, recordings) point into the book, not to files here.
  browser->setOpenLinks(false);
  browser->setOpenExternalLinks(false);
  return browser;
}

QPlainTextEdit* NewTextView(const char* name, bool fixed_pitch) {
  auto* view = new QPlainTextEdit;
  view->setObjectName(name);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  if (fixed_pitch) view->setFont(FixedPitchFont());
  return view;
}

}  // namespace

PreviewViews::PreviewViews(QWidget* parent) : QTabWidget(parent) {
  setObjectName("PageControl2");
  wb_ = NewBrowser("WebBrowserWB");
  xml_ = NewBrowser("WebBrowserXml");
  original_ = NewTextView("MemoHtmlOriginal", true);
  final_ = NewTextView("MemoHtmlFinal", true);
  epw_ = NewTextView("MemoEpwOutput", false);
  addTab(wb_, "WB");
  addTab(xml_, "xml");
  addTab(original_, "html (orininal shift_jis)");
  addTab(final_, "html (final)");
  addTab(epw_, "EPW output");
}

void PreviewViews::Show(const EntryPreview& preview) {
  const QString original = FromUtf8(SjisToUtf8(preview.original));
  const QString final_html = FromUtf8(SjisToUtf8(preview.final));
  const QString epw = FromUtf8(SjisToUtf8(preview.epw));
  original_->setPlainText(original);
  final_->setPlainText(final_html);
  wb_->setHtml(FromUtf8(preview.wb));
  xml_->setHtml(FromUtf8(preview.xml));
  epw_->setPlainText(epw);
}

void PreviewViews::AppendTemplateLines(const std::vector<std::string>& lines) {
  for (const auto& line : lines) final_->appendPlainText(FromUtf8(line));
}

}  // namespace tavex::app
