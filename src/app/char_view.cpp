// The character view. The glyphs come from the Workbench, drawn from the gaiji face
// exactly as the gaiji font file gets them.
#include "app/char_view.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/command_runner.h"
#include "app/grid_models.h"
#include "pipeline/workbench.h"

namespace tavex::app {

CharView::CharView(Workbench& workbench, CommandRunner& runner, QWidget* parent)
    : QWidget(parent), workbench_(workbench) {
  model_ = new CharGridModel([this](int code) { return workbench_.GaijiGlyphText(code); }, this);
  grid_ = new QTableView;
  grid_->setObjectName("StringGrid2");
  grid_->setModel(model_);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(20);
  grid_->horizontalHeader()->setDefaultSectionSize(72);
  grid_->setIconSize(QSize(16, 16));

  auto* selection = new QGroupBox("selection");
  selection->setObjectName("RadioGroupSelection");
  show_all_ = new QRadioButton("show all");
  show_all_->setObjectName("RadioShowAll");
  show_all_->setChecked(true);
  only_char_ref_ = new QRadioButton("show only char_ref=1");
  only_char_ref_->setObjectName("RadioShowCharRef");
  auto* choices = new QHBoxLayout(selection);
  choices->addWidget(show_all_);
  choices->addWidget(only_char_ref_);
  auto* show = new QPushButton("show char data");
  show->setObjectName("ButtonShowCharData");

  auto* top = new QHBoxLayout;
  top->addWidget(selection);
  top->addWidget(show);
  top->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(grid_, 1);

  runner.AddControl(show);
  connect(show, &QPushButton::clicked, this, [this, &runner] { runner.Run([this] { FillCharGrid(); }, CommandRunner::Access::kReads); });
  connect(grid_, &QTableView::doubleClicked, this, &CharView::GridDoubleClicked);
}

void CharView::FillCharGrid() { model_->SetRows(workbench_.CharGridRows(only_char_ref_->isChecked())); }

}  // namespace tavex::app
