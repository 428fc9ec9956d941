// The models behind the program's small dialogs, independent of any widget toolkit. The views
// (Qt in gui/, the terminal in cli/, scripted fakes in tests) show and edit them.
#pragma once

#include <string>
#include <vector>

#include "app/settings.h"
#include "raster/graphic.h"

namespace pamirune {

// One data row of the output-order dialog: full path, size text, date text.
struct OrderRow {
  std::string path;
  std::string size_text;
  std::string date_text;
};

// The output-order dialog: the caption and the rows below the header row. Whatever rows it
// holds when it closes are taken, top to bottom.
class OrderDialogModel {
 public:
  std::string caption;
  std::vector<OrderRow> rows;
};

// The format dialog: a copy of the settings it shows, and its "変換後終了させない" box.
struct FormatDialogModel {
  ConversionSettings values;
  bool keep_running = false;
};

// The transparent-colour picker's answer: the colour picked and the point (image coordinates).
struct PickerResult {
  TColor color = 0;
  int x = 0;
  int y = 0;
};

}  // namespace pamirune
