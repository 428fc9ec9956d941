// The texts the desktop window shows, exactly as the program has always shown them. The texts
// of a conversion itself live in app/messages.h.
#pragma once

namespace pamirune::gui_text {

inline constexpr char kAppTitle[] = "ぱみるね♪";
inline constexpr char kAboutText[] = "ぱみるね♪ Ver 1.52";
inline constexpr char kAboutSecondLine[] =
    "画像をドロップすると、チェックした形式に変換して保存します。";
inline constexpr char kAboutCaption[] = "バージョン情報";
inline constexpr char kAlreadyRunning[] = "すでに起動されています。複数の起動はできません。";
inline constexpr char kHelpMissing[] = "ヘルプファイルが見つかりません。\n";
inline constexpr char kHelpNotOpened[] =
    "ヘルプを開くプログラムが見つかりません。次のファイルをブラウザーで開いてください。\n";

// Format bar and option bars.
inline constexpr char kTransparency[] = "透過";
inline constexpr char kPdfBatch[] = "Pdf一括";
inline constexpr char kGifAnime[] = "Gifｱﾆﾒ";
inline constexpr char kTiming[] = "ﾀｲﾐﾝｸﾞ";
inline constexpr char kHigh[] = "高";
inline constexpr char kFine[] = "美";
inline constexpr char kCompression[] = "圧縮率";
inline constexpr char kIconSize[] = "Icoｻｲｽﾞ";
inline constexpr char kImageSize[] = "画像ｻｲｽﾞ";

// Menu bar.
inline constexpr char kMenuFile[] = "ﾌｧｲﾙ(&F)";
inline constexpr char kMenuOpen[] = "開く(&O)...";
inline constexpr char kMenuExit[] = "終了(&X)";
inline constexpr char kMenuClipboard[] = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞ(&C)";
inline constexpr char kMenuFromClipboard[] = "クリップボードよりファイル作成(&E)";
inline constexpr char kMenuOption[] = "ｵﾌﾟｼｮﾝ(&O)";
inline constexpr char kMenuFormatOnSend[] = "送る利用時に変換形式指定(&I)";
inline constexpr char kMenuNoDialogs[] = "ダイアログを表示させない(&D)";
inline constexpr char kMenuStay[] = "常駐する(&N)";
inline constexpr char kMenuTop[] = "常に最前面に表示(&M)";
inline constexpr char kMenuPreview[] = "変換後関連づけでプレビューする（&P)";
inline constexpr char kMenuOverwrite[] = "ファイル重複は上書きする(&U)";
inline constexpr char kMenuSuffix[] = "ファイル保存時、ファイル名にsをつける(&Y)";
inline constexpr char kMenuSmooth[] = "ｻｲｽﾞ変更時滑らかに変更する(&B)";
inline constexpr char kMenuTransPerImage[] = "透過色を画像ごとに指定(&T)";
inline constexpr char kMenuPdfOrder[] = "pdf一括出力時出力順を指定する(&W)";
inline constexpr char kMenuOutputDir[] = "保存先の指定(&C)";
inline constexpr char kOutputDirGap[] = "  ";  // between the caption and the folder
inline constexpr char kMenuKeepDate[] = "元ファイル日付で作成(&O)";
inline constexpr char kMenuGifOrder[] = "gifｱﾆﾒ出力時出力順を指定する(&G)";
inline constexpr char kMenuWatchClipboard[] = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞを監視する(&L)";
inline constexpr char kMenuHelp[] = "ﾍﾙﾌﾟ(&H)";
inline constexpr char kMenuContents[] = "目次(&I)";
inline constexpr char kMenuAbout[] = "バージョン情報(&V)";

// Option-bar menu of the drop zone.
inline constexpr char kMenuBar1[] = "ｵﾌﾟｼｮﾝﾊﾞｰ1を表示(&1)";
inline constexpr char kMenuBar2[] = "ｵﾌﾟｼｮﾝﾊﾞｰ2を表示(&2)";
inline constexpr char kMenuBar3[] = "ｵﾌﾟｼｮﾝﾊﾞｰ3を表示(&3)";

// Notification-area icon.
inline constexpr char kTrayTip[] = "TipHelp";
inline constexpr char kTrayRestore[] = "元に戻す(&R)";
inline constexpr char kTrayExit[] = "終了(&X)";

// Open dialog: display texts and patterns (the display texts are shown exactly as they are,
// the patterns are what the dialog filters by).
struct OpenFilter {
  const char* display;
  const char* patterns;  // separated by ';'
};
inline constexpr OpenFilter kOpenFilters[] = {
    {"すべてのﾌｧｲﾙ (*.mag;*.jpg;*.jpeg;*.png;*.bmp;*.ico,*.gif,*tif,*tiff)",
     "*.mag;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.tif;*.tiff;*gif"},
    {"MAki chan Graphic format (*.mag)", "*.mag"},
    {"JPEG Image File (*.jpg;*.jpeg)", "*.jpg;*.jpeg"},
    {"PNG Format (*.png)", "*.png"},
    {"ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp)", "*.bmp"},
    {"ｱｲｺﾝ (*.ico)", "*.ico"},
    {"GIF Format (*.gif)", "*.gif"},
    {"TIF Format (*.tif)", "*.tif;*.tiff"},
};

inline constexpr char kOk[] = "OK";

// Output-order dialog.
inline constexpr char kUp[] = "↑";
inline constexpr char kDown[] = "↓";
inline constexpr char kDelete[] = "DEL";

// Transparent-colour picker.
inline constexpr char kPickerCaption[] = "透過色指定";
inline constexpr char kPickerBar[] = "透過色";
inline constexpr char kPickerX[] = "X:";
inline constexpr char kPickerY[] = "Y:";

}  // namespace pamirune::gui_text
