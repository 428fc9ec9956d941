#include "gui/order_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "gui/gui_texts.h"
#include "gui/window_util.h"

namespace pamirune {
namespace {

constexpr int kWidth = 564;
constexpr int kHeight = 276;
constexpr int kColumnWidths[] = {322, 74, 126};
constexpr int kRowHeight = 14;
constexpr int kButtonBarHeight = 25;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QPushButton* NewButton(const char* caption, const char* name, int width) {
  auto* button = new QPushButton(Text(caption));
  button->setObjectName(QString::fromLatin1(name));
  button->setFixedSize(width, kButtonBarHeight);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

OrderDialog::OrderDialog(QWidget* parent) : QDialog(parent) {
  setModal(true);
  setSizeGripEnabled(true);
  resize(kWidth, kHeight);

  grid_ = new QTableWidget(0, 3, this);
  grid_->setObjectName(QStringLiteral("grid"));
  for (int c = 0; c < 3; ++c) grid_->setColumnWidth(c, kColumnWidths[c]);
  grid_->verticalHeader()->hide();  // no fixed columns
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->verticalHeader()->setDefaultSectionSize(
      std::max(kRowHeight, grid_->fontMetrics().height() + 2));
  QHeaderView* header = grid_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  grid_->setShowGrid(true);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setWordWrap(false);
  grid_->viewport()->installEventFilter(this);
  // The header row: a press shows full paths, a release sorts by the column.
  connect(header, &QHeaderView::sectionPressed, this, [this](int column) {
    logic_.MousePress(column, 0);
    Show();
  });
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    logic_.MouseRelease(column, 0);
    Show();
  });

  ok_ = NewButton(gui_text::kOk, "ok", 25);
  up_ = NewButton(gui_text::kUp, "up", 25);
  down_ = NewButton(gui_text::kDown, "down", 25);
  delete_ = NewButton(gui_text::kDelete, "delete", 25);
  view_ = NewButton(kFullPathView, "view", 75);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(up_, &QPushButton::clicked, this, [this] { Act([this] { logic_.MoveUp(); }); });
  connect(down_, &QPushButton::clicked, this, [this] { Act([this] { logic_.MoveDown(); }); });
  connect(delete_, &QPushButton::clicked, this, &OrderDialog::DeleteSelected);
  connect(view_, &QPushButton::clicked, this, [this] { Act([this] { logic_.ToggleView(); }); });

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(0);
  for (QPushButton* b : {ok_, up_, down_, delete_, view_}) buttons->addWidget(b);
  buttons->addStretch();

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(grid_, 1);
  column->addLayout(buttons);
}

template <class Action>
void OrderDialog::Act(Action action) {
  if (grid_->currentRow() >= 0) logic_.Select(grid_->currentRow() + 1);
  action();
  Show();
}

void OrderDialog::DeleteSelected() {
  // DEL acts on a selected row only. Once the last row is deleted nothing is selected, so a
  // second DEL does not take the row that became the last one.
  if (grid_->currentRow() < 0 || grid_->selectionModel()->selectedRows().isEmpty()) return;
  const int row = grid_->currentRow();
  Act([this] { logic_.DeleteRow(); });
  if (row >= grid_->rowCount()) {
    grid_->clearSelection();
    grid_->setCurrentItem(nullptr);
  }
}

void OrderDialog::Show() {
  const TStrSortGrid& cells = logic_.Grid();
  const int rows = std::max(0, cells.RowCount() - 1);
  grid_->setRowCount(rows);
  for (int c = 0; c < 3; ++c) {
    auto* head = grid_->horizontalHeaderItem(c);
    if (!head) grid_->setHorizontalHeaderItem(c, head = new QTableWidgetItem);
    head->setText(Text(cells.Cell(c, 0)));
  }
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 3; ++c) {
      QTableWidgetItem* item = grid_->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        if (c == 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid_->setItem(r, c, item);
      }
      item->setText(Text(cells.Cell(c, r + 1)));
    }
    if (r < static_cast<int>(logic_.PathList().size()))
      grid_->item(r, 0)->setToolTip(Text(logic_.PathList()[r]));
  }
  view_->setText(Text(logic_.ViewButtonCaption()));

  // The direction glyph of the sorted column. Qt's header draws its glyph pointing down for
  // Qt::AscendingOrder; the grid's "BBUP" points up for an ascending sort.
  QHeaderView* header = grid_->horizontalHeader();
  int glyph_column = -1;
  bool up = true;
  for (int c = 0; c < 3; ++c) {
    if (const char* glyph = cells.HeaderGlyph(c)) {
      glyph_column = c;
      up = std::strcmp(glyph, "BBUP") == 0;
    }
  }
  header->setSortIndicatorShown(glyph_column >= 0);
  if (glyph_column >= 0)
    header->setSortIndicator(glyph_column, up ? Qt::DescendingOrder : Qt::AscendingOrder);

  const int selected = logic_.SelectedRow() - 1;
  if (selected >= 0 && selected < rows && grid_->currentRow() != selected) {
    grid_->setCurrentCell(selected, std::max(0, grid_->currentColumn()));
    grid_->selectRow(selected);
  }
}

bool OrderDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_->viewport() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    QModelIndex index = grid_->indexAt(mouse->position().toPoint());
    int column = index.isValid() ? index.column() : -1;
    int row = index.isValid() ? index.row() + 1 : -1;
    if (event->type() == QEvent::MouseButtonPress) {
      logic_.MousePress(column, row);
    } else {
      logic_.MouseRelease(column, row);
    }
    Show();
  }
  return QDialog::eventFilter(watched, event);
}

void OrderDialog::Run(OrderDialogModel& model) {
  setWindowTitle(Text(model.caption));
  logic_.Activate(model);
  Show();
  // The size and date columns widen when the desktop's font needs more than their width.
  for (int c = 1; c < 3; ++c) {
    int width = grid_->columnWidth(c);
    grid_->resizeColumnToContents(c);
    if (grid_->columnWidth(c) < width) grid_->setColumnWidth(c, width);
  }
  resize(kWidth, kHeight);
  CentreOnScreen(this);
  exec();
  logic_.Close();  // full paths back into the model, however the dialog was closed
  grid_->setRowCount(0);
}

}  // namespace pamirune
