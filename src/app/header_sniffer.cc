#include "app/header_sniffer.h"

#include <algorithm>
#include <vector>

namespace pamirune {

namespace {

// The readable rows, in the order their signatures are tried.
const std::vector<const OutputFormatInfo*>& SniffOrder() {
  static const std::vector<const OutputFormatInfo*> order = [] {
    std::vector<const OutputFormatInfo*> rows;
    for (const auto& row : OutputFormats())
      if (row.signature) rows.push_back(&row);
    std::stable_sort(rows.begin(), rows.end(),
                     [](auto* a, auto* b) { return a->sniff_rank < b->sniff_rank; });
    return rows;
  }();
  return order;
}

}  // namespace

std::optional<OutputFormat> SniffHeader(const FileHeader& h) {
  for (const OutputFormatInfo* row : SniffOrder())
    if (row->signature(h)) return row->format;
  return std::nullopt;
}

bool ExtensionFitsKind(OutputFormat kind, const std::string& ext) {
  const OutputFormatInfo& row = FormatInfo(kind);
  if (!row.signature || ext.empty() || ext[0] != '.') return false;
  return std::any_of(row.names.begin(), row.names.end(),
                     [&](const char* name) { return name && ext.compare(1, ext.npos, name) == 0; });
}

std::string RenameTarget(OutputFormat kind) { return std::string(".") + FormatInfo(kind).Token(); }

std::string KindGuessText(OutputFormat kind) {
  std::string name = FormatInfo(kind).Token();
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name + "形式のファイルと思われます。";
}

bool AcceptedExtension(const std::string& ext) {
  return std::any_of(
      OutputFormats().begin(), OutputFormats().end(),
      [&](const OutputFormatInfo& row) { return ExtensionFitsKind(row.format, ext); });
}

}  // namespace pamirune
