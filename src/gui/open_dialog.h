// The open dialog of "開く(&O)...": several files at once, the program's filter list, and a
// preview of the picture under the cursor.
#pragma once

#include <QStringList>
#include <string>

class QWidget;

namespace pamirune {

// The filter list in Qt's form: each entry shows its display text exactly and filters by its
// patterns (Qt takes a filter's patterns from its last parenthesised group; with the details
// hidden it shows the text before that group).
QStringList OpenDialogFilters();

// Shows the open dialog in initial_dir (the desktop's default when empty or gone) and returns
// the chosen files in the dialog's order; empty when it was cancelled.
QStringList RunOpenDialog(QWidget* parent, const std::string& initial_dir);

}  // namespace pamirune
