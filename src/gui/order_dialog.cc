#include "gui/order_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/messages.h"
#include "gui/gui_texts.h"
#include "gui/window_util.h"

namespace pamirune {
namespace {

constexpr int kWidth = 564;
constexpr int kHeight = 276;
constexpr int kColumnWidths[] = {322, 74, 126};
constexpr int kRowHeight = 14;
constexpr int kButtonBarHeight = 25;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The name part of a full path: the text after the last folder separator.
std::string NamePart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const std::string& CellText(const OrderRow& row, int column) {
  switch (column) {
    case 1:
      return row.size_text;
    case 2:
      return row.date_text;
    default:
      return row.path;  // the full path stands in column 0 while the grid sorts
  }
}

QPushButton* NewButton(const char* caption, int width) {
  auto* button = new QPushButton(Text(caption));
  button->setFixedSize(width, kButtonBarHeight);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

std::string OrderDialog::SortKey(const std::string& text) {
  std::string key = text;
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

OrderDialog::OrderDialog(QWidget* parent) : QDialog(parent) {
  setModal(true);
  setSizeGripEnabled(true);
  resize(kWidth, kHeight);

  grid_ = new QTableWidget(0, 3, this);
  grid_->setObjectName(QStringLiteral("grid"));
  grid_->setHorizontalHeaderLabels({Text(msg::kColumnFileName), Text(msg::kColumnFileSize),
                                    Text(msg::kColumnFileDate)});
  for (int c = 0; c < 3; ++c) grid_->setColumnWidth(c, kColumnWidths[c]);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->verticalHeader()->setDefaultSectionSize(
      std::max(kRowHeight, grid_->fontMetrics().height() + 2));
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->horizontalHeader()->setSectionsClickable(true);
  grid_->horizontalHeader()->setHighlightSections(false);
  grid_->setShowGrid(true);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setWordWrap(false);
  connect(grid_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &OrderDialog::SortByColumn);

  ok_ = NewButton(gui_text::kOk, 25);
  up_ = NewButton(gui_text::kUp, 25);
  down_ = NewButton(gui_text::kDown, 25);
  delete_ = NewButton(gui_text::kDelete, 25);
  view_ = NewButton(gui_text::kShowFullPath, 75);
  ok_->setObjectName(QStringLiteral("ok"));
  up_->setObjectName(QStringLiteral("up"));
  down_->setObjectName(QStringLiteral("down"));
  delete_->setObjectName(QStringLiteral("delete"));
  view_->setObjectName(QStringLiteral("view"));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(up_, &QPushButton::clicked, this, &OrderDialog::MoveUp);
  connect(down_, &QPushButton::clicked, this, &OrderDialog::MoveDown);
  connect(delete_, &QPushButton::clicked, this, &OrderDialog::DeleteRow);
  connect(view_, &QPushButton::clicked, this, &OrderDialog::ToggleFullPath);

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

bool OrderDialog::NamesOnly() const { return view_->text() == Text(gui_text::kShowFullPath); }

void OrderDialog::Show() {
  const bool names_only = NamesOnly();
  grid_->setRowCount(static_cast<int>(rows_.size()));
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
    const OrderRow& row = rows_[r];
    const std::string& first = names_only ? NamePart(row.path) : row.path;
    const std::string* cells[] = {&first, &row.size_text, &row.date_text};
    for (int c = 0; c < 3; ++c) {
      QTableWidgetItem* item = grid_->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        grid_->setItem(r, c, item);
      }
      item->setText(QString::fromStdString(*cells[c]));
      if (c == 0) item->setToolTip(QString::fromStdString(row.path));
      if (c == 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
  }
  QHeaderView* header = grid_->horizontalHeader();
  header->setSortIndicatorShown(sorted_);
  // Qt's header draws its glyph pointing down for Qt::AscendingOrder; the grid's glyph points
  // up for an ascending sort and down for a descending one.
  if (sorted_)
    header->setSortIndicator(sort_column_, ascending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void OrderDialog::Select(int row) {
  if (row < 0 || row >= grid_->rowCount()) return;
  grid_->clearSelection();
  grid_->setCurrentCell(row, grid_->currentColumn() < 0 ? 0 : grid_->currentColumn());
  grid_->selectRow(row);
}

void OrderDialog::Run(OrderDialogModel& model) {
  setWindowTitle(QString::fromStdString(model.caption));
  rows_ = model.rows;
  view_->setText(Text(gui_text::kShowFullPath));  // names only when shown
  Show();
  // The size and date columns widen when the desktop's font needs more than their width.
  for (int c = 1; c < 3; ++c) {
    int width = grid_->columnWidth(c);
    grid_->resizeColumnToContents(c);
    if (grid_->columnWidth(c) < width) grid_->setColumnWidth(c, width);
  }
  Select(0);
  resize(kWidth, kHeight);
  CentreOnScreen(this);
  exec();
  model.rows = rows_;  // however the dialog was closed
}

void OrderDialog::MoveUp() {
  int r = grid_->currentRow();
  if (r <= 0 || r >= static_cast<int>(rows_.size())) return;
  std::swap(rows_[r], rows_[r - 1]);
  Show();
  Select(r - 1);
}

void OrderDialog::MoveDown() {
  int r = grid_->currentRow();
  if (r < 0 || r + 1 >= static_cast<int>(rows_.size())) return;
  std::swap(rows_[r], rows_[r + 1]);
  Show();
  Select(r + 1);
}

void OrderDialog::DeleteRow() {
  int r = grid_->currentRow();
  if (r < 0 || r >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + r);
  Show();
  Select(std::min(r, static_cast<int>(rows_.size()) - 1));
}

void OrderDialog::ToggleFullPath() {
  view_->setText(Text(NamesOnly() ? gui_text::kShowNamesOnly : gui_text::kShowFullPath));
  Show();
}

void OrderDialog::SortByColumn(int column) {
  if (column < 0 || column > 2) return;
  sort_column_ = column;
  sorted_ = true;
  ascending_ = !ascending_;  // each click flips: the first click on a fresh grid sorts down
  std::vector<std::pair<std::string, OrderRow>> keyed;
  keyed.reserve(rows_.size());
  for (const OrderRow& row : rows_) keyed.emplace_back(SortKey(CellText(row, column)), row);
  // Keys compare as unsigned bytes; equal keys keep their order.
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return std::lexicographical_compare(
        a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
        [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
  });
  if (!ascending_) std::reverse(keyed.begin(), keyed.end());
  int current = grid_->currentRow();
  rows_.clear();
  for (auto& k : keyed) rows_.push_back(std::move(k.second));
  Show();
  Select(current);
}

}  // namespace pamirune
