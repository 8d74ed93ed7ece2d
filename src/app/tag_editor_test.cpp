// The tag editor and the character view on a converted sample disc: loading and saving
// a tag's options with the stylesheet rewrite, the entry navigation, "select", "search",
// and the character grid with its gaiji glyphs.
#include "app/tag_editor.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <filesystem>

#include "app/grid_models.h"
#include "app/window_test_support.h"
#include "fs/files.h"
#include "store/database.h"

namespace tavex::app::testing {
namespace {

// True when a file in `folder` holds exactly `content`.
bool HasFileWith(const std::string& folder, const std::string& content) {
  if (!FolderExists(folder)) return false;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (ReadFile(entry.path().string()) == content) return true;
  }
  return false;
}

bool IsTicked(TFormMain& window, const char* option) {
  const auto items = window.findChild<QListWidget*>("CheckListBox1")->findItems(option, Qt::MatchExactly);
  return !items.isEmpty() && items.first()->checkState() == Qt::Checked;
}

class TagEditorTest : public QObject {
  Q_OBJECT

 private:
  template <typename T>
  T* Find(const char* name) {
    return window_->findChild<T*>(name);
  }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  int RowOf(const std::string& tag) {
    const auto& rows = window_->workbench().tag_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].tag == tag) return static_cast<int>(i);
    }
    return -1;
  }
  void SelectTag(int row) { emit Find<QComboBox>("ComboBox1")->activated(row); }
  int CurrentRow() { return Find<QTableView>("StringGrid1")->currentIndex().row(); }

  std::unique_ptr<Workspace> workspace_;
  std::unique_ptr<TFormMain> window_;

 private slots:
  void initTestCase() {
    workspace_ = std::make_unique<Workspace>();
    window_ = workspace_->Open();
    SwitchMode(*window_, 1);
    Click("Button2");
    QVERIFY(!window_->workbench().tag_rows().empty());
  }

  void cleanupTestCase() {
    if (window_) window_->close();
    window_.reset();
    workspace_.reset();
  }

  void LoadsAndSavesTagOptionsAndRewritesTheStylesheet() {
    const int xr = RowOf("xr");
    QVERIFY(xr >= 0);
    SelectTag(xr);
    QCOMPARE(Find<QLineEdit>("EditPreText")->text(), QString("→"));
    QVERIFY(IsTicked(*window_, "pre_text"));
    QVERIFY(!IsTicked(*window_, "upper_case"));
    QVERIFY(!Find<QPlainTextEdit>("MemoTemplate")->toPlainText().isEmpty());

    // Tick upper_case and save: the stylesheet is backed up and written anew. After
    // loading another tag and this one again, both options show.
    Workbench& bench = window_->workbench();
    const std::string stylesheet = ReadFile(bench.layout().main_stylesheet);
    Find<QListWidget>("CheckListBox1")->findItems("upper_case", Qt::MatchExactly).first()->setCheckState(Qt::Checked);
    Click("ButtonUpdateXls");
    QVERIFY(HasFileWith(bench.layout().xsl_backup_folder, stylesheet));
    QVERIFY(ReadFile(bench.layout().main_stylesheet) != stylesheet);
    SelectTag(xr == 0 ? 1 : 0);
    QVERIFY(Find<QLineEdit>("EditPreText")->text() != QString("→"));
    SelectTag(xr);
    QCOMPARE(Find<QComboBox>("ComboBox1")->currentText(), QString("xr"));
    QCOMPARE(Find<QLineEdit>("EditPreText")->text(), QString("→"));
    QVERIFY(IsTicked(*window_, "pre_text"));
    QVERIFY(IsTicked(*window_, "upper_case"));

    // "update xls" without changes writes the same values back.
    const std::optional<RuleRow> before = bench.LoadTagOptions("xr");
    QVERIFY(before.has_value());
    Click("ButtonUpdateXls");
    const std::optional<RuleRow> after = bench.LoadTagOptions("xr");
    QVERIFY(after.has_value());
    for (int c = 0; c < kRuleRowSize; ++c) QCOMPARE(RuleText(*after, c), RuleText(*before, c));
    QCOMPARE(after->upper_case, std::string("1"));
    QVERIFY(ReadFile(bench.layout().main_stylesheet).find("xsl:stylesheet") != std::string::npos);
    QCOMPARE(CurrentRow(), xr);
  }

  void StepsThroughEntries() {
    auto* index = Find<QLineEdit>("EditIndex");
    auto* epw = Find<QPlainTextEdit>("MemoEpwOutput");
    index->setText("0");
    Click("ButtonShow");
    const QString shown = epw->toPlainText();
    QVERIFY(shown.contains("<dt id=\"0\">"));
    Click("ButtonPrev");
    QCOMPARE(index->text(), QString("0"));
    QCOMPARE(epw->toPlainText(), shown);
    Click("ButtonNext");
    QCOMPARE(index->text(), QString("1"));
    QVERIFY(epw->toPlainText().contains("<dt id=\"1\">"));
    QVERIFY(!Find<QTextBrowser>("WebBrowserWB")->toPlainText().isEmpty());
    QVERIFY(Find<QTextBrowser>("WebBrowserXml")->toPlainText().contains("<entry"));
    QVERIFY(!Find<QPlainTextEdit>("MemoHtmlOriginal")->toPlainText().isEmpty());
  }

  void SearchFindsAnEntryByItsTitle() {
    std::string title;
    {
      store::Connection db(window_->workbench().layout().database_file);
      store::Statement query = db.Prepare("select [TEXTTITLE] from [fs_skn] where [index] = 5");
      QVERIFY(query.Step());
      title = query.Text(0);
    }
    const std::optional<int> expected = window_->workbench().FindEntryByTitle(title);
    QVERIFY(expected.has_value());
    auto* index = Find<QLineEdit>("EditIndex");
    index->setText("0");
    Find<QLineEdit>("EditSearchWord")->setText("  " + QString::fromStdString(title) + " ");
    Click("ButtonSearch");
    QCOMPARE(index->text(), QString::number(*expected));
    QVERIFY(Find<QPlainTextEdit>("MemoEpwOutput")->toPlainText().contains(QString("<dt id=\"%1\">").arg(*expected)));
    // No match is said, and the index stays.
    DialogDriver driver;
    driver.Then(ClickMessageButton(QMessageBox::Ok));
    Find<QLineEdit>("EditSearchWord")->setText("no such title");
    Click("ButtonSearch");
    QVERIFY(driver.done());
    QCOMPARE(index->text(), QString::number(*expected));
  }

  void SelectMovesToTheNextMatchingTag() {
    std::vector<int> spans;
    const auto& rows = window_->workbench().tag_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].tag.starts_with("span")) spans.push_back(static_cast<int>(i));
    }
    QVERIFY(spans.size() >= 2);
    SelectTag(spans[0]);
    Find<QLineEdit>("EditSelectTag")->setText("span");
    Click("ButtonSelect");
    QCOMPARE(CurrentRow(), spans[1]);
    SelectTag(spans.back());
    Click("ButtonSelect");
    QCOMPARE(CurrentRow(), spans.back());
  }

  void NextTagRowFollowsTheGrid() {
    std::vector<RuleRow> rows(4);
    rows[0].tag = "b";
    rows[1].tag = "abc";
    rows[2].tag = "x";
    rows[3].tag = "ab";
    QCOMPARE(NextTagRow(rows, 1, "ab"), 3);  // current matches: the next match below
    QCOMPARE(NextTagRow(rows, 3, "ab"), 3);  // no further match: stays, no wrap-around
    QCOMPARE(NextTagRow(rows, 2, "ab"), 1);  // current does not match: first match from the top
    QCOMPARE(NextTagRow(rows, 0, ""), 1);    // an empty text moves one row down
    QCOMPARE(NextTagRow(rows, 0, "AB"), 0);  // letter case counts
  }

  void CharGridShowsCandidatesWithGlyphs() {
    auto* grid = Find<QTableView>("StringGrid2");
    Find<QRadioButton>("RadioShowCharRef")->setChecked(true);
    Click("ButtonShowCharData");
    QAbstractItemModel* model = grid->model();
    QVERIFY(model->rowCount() > 0);
    int with_glyph = 0;
    for (int r = 0; r < model->rowCount(); ++r) {
      QCOMPARE(model->index(r, 5).data().toString(), QString("1"));
      const QPixmap glyph = model->index(r, 0).data(Qt::DecorationRole).value<QPixmap>();
      if (!glyph.isNull()) {
        QCOMPARE(glyph.height(), 16);
        ++with_glyph;
      }
    }
    QVERIFY(with_glyph > 0);

    // Without candidates only the heading row is left.
    {
      store::Connection db(window_->workbench().layout().database_file);
      db.Exec("update [char] set [char_ref] = '0'");
    }
    Click("ButtonShowCharData");
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->columnCount(), 6);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("ws_code"));
    Find<QRadioButton>("RadioShowAll")->setChecked(true);
    Click("ButtonShowCharData");
    QVERIFY(model->rowCount() > 0);
  }

  void GlyphPixmapDrawsInk() {
    const QImage image = GlyphPixmap("#.\r\n.#").toImage();
    QCOMPARE(image.size(), QSize(2, 2));
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(image.pixelColor(1, 0), QColor(Qt::white));
    QCOMPARE(image.pixelColor(1, 1), QColor(Qt::black));
    QVERIFY(GlyphPixmap("").isNull());
  }

  // "suggest" shows the entry with the suggested rules in the preview, then asks before
  // it saves them: No keeps the rules, Yes saves them into the grid and the table.
  void SuggestPreviewsBeforeItSaves() {
    Workbench& bench = window_->workbench();
    auto* epw = Find<QPlainTextEdit>("MemoEpwOutput");
    Find<QLineEdit>("EditIndex")->setText("1");
    Click("ButtonShow");
    QVERIFY2(epw->toPlainText().contains("&nbsp;/"), qPrintable(epw->toPlainText()));  // the tuned phon: /…/
    const std::optional<RuleRow> tuned = bench.LoadTagOptions("phon");
    QVERIFY(tuned && tuned->pre_text == "/");

    QString question;
    QString preview_when_asked;
    DialogDriver no;
    no.Then([&](QWidget* dialog) {
      preview_when_asked = epw->toPlainText();
      ClickMessageButton(QMessageBox::No, &question)(dialog);
    });
    Click("ButtonSuggest");
    QVERIFY(no.done());
    QVERIFY2(question.contains("suggested"), qPrintable(question));
    QVERIFY2(!preview_when_asked.isEmpty() && !preview_when_asked.contains("&nbsp;/"),
             qPrintable(preview_when_asked));
    QCOMPARE(bench.LoadTagOptions("phon")->pre_text, std::string("/"));

    DialogDriver yes;
    yes.Then(ClickMessageButton(QMessageBox::Yes));
    Click("ButtonSuggest");
    QVERIFY(yes.done());
    QCOMPARE(bench.LoadTagOptions("phon")->pre_text, std::string());
    QVERIFY(bench.LoadTagOptions("x-ref")->custom_xsl.find("<A topic=") != std::string::npos);
    QVERIFY(!epw->toPlainText().contains("&nbsp;/"));
  }
};

const bool kRegistered = RegisterTestClass<TagEditorTest>();

}  // namespace
}  // namespace tavex::app::testing

#include "tag_editor_test.moc"
