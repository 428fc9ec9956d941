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
// Our own texts (the old program had none for these situations).
inline constexpr char kRenameFailed[] = "名前を変更できませんでした。変換を中止します。";
inline constexpr char kScaledEmpty[] = "縮小すると画像が空になります。";
inline constexpr char kBadIconSize[] = "Icoｻｲｽﾞが正しくありません。";

}  // namespace pamirune::msg
