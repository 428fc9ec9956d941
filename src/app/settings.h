// The Conversion settings: every user option of the converter, one field per control or menu
// item of the main window, stored in the INI file.
#pragma once

#include <string>

namespace pamirune {

enum class ColourMode { k256 = 0, kFull = 1, kBlackWhite = 2 };
enum class Disposal { kTrash = 0, kKeep = 1, kDelete = 2 };

// Scale factor entries, in the order of the scale list (stored as 1..7).
enum class ScaleFactor { k1_1 = 1, k1_2, k1_3, k2_3, k3_4, k2x, k3x };

struct ConversionSettings {
  // [Format]
  bool write_bmp = false;
  bool write_jpg = false;
  bool write_png = false;
  ColourMode colour_mode = ColourMode::k256;
  bool transparency = true;
  bool write_mag = false;
  bool write_ico = false;
  bool write_pdf = false;
  bool write_gif = false;
  bool write_tif = false;
  // [Flag]
  bool pdf_batch = false;
  bool gif_anime = false;
  bool no_dialogs = false;
  bool format_dialog_on_send = false;
  bool stay_resident = false;
  bool always_on_top = false;
  bool preview = false;
  bool overwrite = false;
  bool suffix_s = false;
  bool smooth_resize = false;
  bool bar1 = false;
  bool bar2 = false;
  bool bar3 = false;
  bool use_output_dir = false;
  bool transparent_per_image = false;
  bool pdf_order_dialog = false;
  bool gif_order_dialog = false;
  bool watch_clipboard = false;
  bool keep_date = false;
  // Pictures are turned as their file says (JPEG EXIF, TIFF Orientation) when loaded.
  bool auto_orient = true;
  // A JPEG source whose PDF page shows exactly its decoded pixels is embedded in the PDF as it
  // is, instead of deflated pixels.
  bool pdf_keep_jpeg = true;
  Disposal disposal = Disposal::kTrash;
  // The animation delay as the numeric edit shows it ("30"; empty for 0).
  std::string delay_text = "30";
  // [File] Open
  std::string last_open_dir;
  // [Comp] Comp: 0..10
  int level = 5;
  // [IcoSize] Size: "16".."256", or empty when nothing is selected.
  std::string icon_size_text = "32";
  // [Window]
  int window_left = -1;  // -1: centred on the screen
  int window_top = -1;
  int window_width = 365;
  int window_height = 292;
  // [Flag] Size; the text of the scale list ("1/1" .. "3×"), empty when nothing is selected.
  std::string scale_text = "1/1";
  // [ClipDir] Dir
  std::string output_dir;

  bool operator==(const ConversionSettings&) const = default;

  // True when any output format is ticked (app/output_formats.cc).
  bool AnyFormat() const;
};

}  // namespace pamirune
