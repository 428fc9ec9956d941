// The texts the conversion application shows, exactly as the program has always shown them.
#pragma once

namespace pamirune::msg {

inline constexpr char kConfirmBatch[] = "複数のファイルを一括変換するよ？";
inline constexpr char kUnsupportedExtension[] = "この形式は対応していません。";
inline constexpr char kUnsupportedContent[] = "対応していない形式です。終了します。";
inline constexpr char kRenameQuestion[] = "に名前変更し、続行しますか？";
inline constexpr char kSavedDone[] = "で保存しました。変換終了だよっ♪";
inline constexpr char kSaved[] = "で保存しました。";
inline constexpr char kOverwriteCancelled[] = "上書きせずキャンセルしました。";
inline constexpr char kNoClipboardBitmap[] = "クリップボードにBMPが入っていません。";
inline constexpr char kDropHere[] = "ここにファイルをドロップしてね。";
inline constexpr char kProcessing[] = "処理中～";
inline constexpr char kProcessingSuffix[] = "を処理中～";
inline constexpr char kFilePrefix[] = "File : ";
inline constexpr char kExistsOverwrite[] = "がすでにあるよ♪上書きする？";
inline constexpr char kPdfOrderCaption[] = "pdf一括出力時出力順設定";
inline constexpr char kGifOrderCaption[] = "gifｱﾆﾒ出力時出力順設定";
inline constexpr char kColumnFileName[] = "ﾌｧｲﾙ名";
inline constexpr char kColumnFileSize[] = "ﾌｧｲﾙｻｲｽﾞ";
inline constexpr char kColumnFileDate[] = "ﾌｧｲﾙ日付";
inline constexpr char kByteSuffix[] = " Byte";
inline constexpr char kKbSuffix[] = " KB";
inline constexpr char kNoFormat[] = "形式が指定されてないよぉ～(;_;)";
// Refusals the batch adds for renames that fail and sizes no image can have.
inline constexpr char kRenameFailed[] = "名前を変更できませんでした。変換を中止します。";
inline constexpr char kScaledEmpty[] = "縮小すると画像が空になります。";
inline constexpr char kBadIconSize[] = "Icoｻｲｽﾞが正しくありません。";
// A file that gives no picture, or only a part of one.
inline constexpr char kEmptyImage[] = "画像が空です（幅か高さが0です）。変換できません。";
inline constexpr char kDataRanOut[] =
    "画像のデータが途中で終わっています。読めたところまで変換しました。元ファイルは処分しません。";
inline constexpr char kNotDecoded[] =
    "画像の一部を読み込めませんでした。読めたところまで変換しました。元ファイルは処分しません。";
// Outputs that would replace a source, or a file made earlier in the same batch.
inline constexpr char kOwnSourceKept[] =
    "元ファイルと同じファイルになるので書き込みませんでした（元ファイルを残す設定です）。";
inline constexpr char kPartSourceKept[] =
    "読めなかったところがある元ファイルなので、同じファイルには書き込みませんでした。";
inline constexpr char kWouldReplaceSource[] =
    "一括変換中の別の元ファイルと同じファイルになるので書き込みませんでした。";
inline constexpr char kTrashFailed[] = "元ファイルをゴミ箱へ移せなかったので上書きしませんでした。";
inline constexpr char kMadeInThisBatch[] =
    "は、この一括変換で別の元ファイルから作ったばかりだよ。上書きする？";
inline constexpr char kMadeFromLabel[] = "作った元: ";
inline constexpr char kNowFromLabel[] = "今回の元: ";
inline constexpr char kNotDisposedReplaced[] =
    "このファイルから作ったファイルが後で上書きされたので、元ファイルは処分しませんでした。";

}  // namespace pamirune::msg
