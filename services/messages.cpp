#include "services/messages.h"

#include <iterator>

// オプションが間違っています
const char kMsgBadOption[] = "\x83I\x83v\x83V\x83\x87\x83\x93\x82\xAA\x8A\xD4\x88\xE1\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
// /n の指定が不正です
const char kMsgBadNameOption[] = "/n \x82\xCC\x8Ew\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// 検索ファイル名を指定してください
const char kMsgNoNameMask[] = "\x8C\x9F\x8D\xF5\x83t\x83@\x83""C\x83\x8B\x96\xBC\x82\xF0\x8Ew\x92\xE8\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
// /a の指定が不正です
const char kMsgBadAttrOption[] = "/a \x82\xCC\x8Ew\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// /s の指定が不正です
const char kMsgBadSizeOption[] = "/s \x82\xCC\x8Ew\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// /f の指定が不正です
const char kMsgBadPeriodOption[] = "/f \x82\xCC\x8Ew\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// /d の指定が不正です
const char kMsgBadAgeOption[] = "/d \x82\xCC\x8Ew\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// /v の指定が不正です
const char kMsgBadViewOption[] = "/v \x82\xCC\x8Ew\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// KESTRIV version 1.01 by Orvanth
const char kMsgUsage1[] = "KESTRIV version 1.01 by Orvanth";
//    >kestriv <option>[|<path>]
const char kMsgUsage2[] = "   >kestriv <option>[|<path>]";
//      /nfile_name          : 検索ファイル名   /a{r|h|s|a|d} : 属性（ -:以外）
const char kMsgUsage3[] = "     /nfile_name          : \x8C\x9F\x8D\xF5\x83t\x83@\x83""C\x83\x8B\x96\xBC   /a{r|h|s|a|d} : \x91\xAE\x90\xAB\x81i -:\x88\xC8\x8AO\x81j";
//      /f{YYMMDD}|{-yymmdd} : 期間             /d{day|-day}  : 相対日付
const char kMsgUsage4[] = "     /f{YYMMDD}|{-yymmdd} : \x8A\xFA\x8A\xD4             /d{day|-day}  : \x91\x8A\x91\xCE\x93\xFA\x95t";
//      /s{下限}|{-上限}     : サイズ（ kb ）   /vs           : 表示モード
const char kMsgUsage5[] = "     /s{\x89\xBA\x8C\xC0}|{-\x8F\xE3\x8C\xC0}     : \x83T\x83""C\x83Y\x81i kb \x81j   /vs           : \x95\x5C\x8E\xA6\x83\x82\x81[\x83h";
//      /r                   : ディレクトリ非再帰
const char kMsgUsage6[] = "     /r                   : \x83""f\x83""B\x83\x8C\x83N\x83g\x83\x8A\x94\xF1\x8D\xC4\x8B""A";
// 日付に変換できない値が渡されました
const char kMsgInvalidDate[] = "\x93\xFA\x95t\x82\xC9\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xC8\x82\xA2\x92l\x82\xAA\x93n\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD";
// 時刻に変換できない値が渡されました
const char kMsgInvalidTime[] = "\x8E\x9E\x8D\x8F\x82\xC9\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xC8\x82\xA2\x92l\x82\xAA\x93n\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD";
// '%s' は日付ではありません
const char kMsgNotADate[] = "'%s' \x82\xCD\x93\xFA\x95t\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// '%s' は整数ではありません
const char kMsgNotAnInteger[] = "'%s' \x82\xCD\x90\xAE\x90\x94\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// メモリが足りません
const char kMsgOutOfMemory[] = "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// %sがモジュール %s の %p で発生しました。
const char kMsgExceptionReport[] = "%s\x82\xAA\x83\x82\x83W\x83\x85\x81[\x83\x8B %s \x82\xCC %p \x82\xC5\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81""B";
// I/O エラー (%d)
const char kMsgIoError[] = "I/O \x83G\x83\x89\x81[ (%d)";
// ファイルが見つかりません
const char kMsgFileNotFound[] = "\x83t\x83@\x83""C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// 不正なファイル名です
const char kMsgInvalidFileName[] = "\x95s\x90\xB3\x82\xC8\x83t\x83@\x83""C\x83\x8B\x96\xBC\x82\xC5\x82\xB7";
// オープンしたファイルが多すぎます
const char kMsgTooManyOpenFiles[] = "\x83I\x81[\x83v\x83\x93\x82\xB5\x82\xBD\x83t\x83@\x83""C\x83\x8B\x82\xAA\x91\xBD\x82\xB7\x82\xAC\x82\xDC\x82\xB7";
// ファイルへのアクセスが拒否されました
const char kMsgAccessDenied[] = "\x83t\x83@\x83""C\x83\x8B\x82\xD6\x82\xCC\x83""A\x83N\x83Z\x83X\x82\xAA\x8B\x91\x94\xDB\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD";
// ファイルの末尾以降を読み込みました
const char kMsgReadBeyondEnd[] = "\x83t\x83@\x83""C\x83\x8B\x82\xCC\x96\x96\x94\xF6\x88\xC8\x8D~\x82\xF0\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xDC\x82\xB5\x82\xBD";
// ディスクがいっぱいです
const char kMsgDiskFull[] = "\x83""f\x83""B\x83X\x83N\x82\xAA\x82\xA2\x82\xC1\x82\xCF\x82\xA2\x82\xC5\x82\xB7";
// 入力値が数値ではありません
const char kMsgNotNumeric[] = "\x93\xFC\x97\xCD\x92l\x82\xAA\x90\x94\x92l\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// 午前
const char kMsgAm[] = "\x8C\xDF\x91O";
// 午後
const char kMsgPm[] = "\x8C\xDF\x8C\xE3";

const MessageText kAllMessages[] = {
    {"kMsgBadOption", kMsgBadOption, u8"オプションが間違っています"},
    {"kMsgBadNameOption", kMsgBadNameOption, u8"/n の指定が不正です"},
    {"kMsgNoNameMask", kMsgNoNameMask, u8"検索ファイル名を指定してください"},
    {"kMsgBadAttrOption", kMsgBadAttrOption, u8"/a の指定が不正です"},
    {"kMsgBadSizeOption", kMsgBadSizeOption, u8"/s の指定が不正です"},
    {"kMsgBadPeriodOption", kMsgBadPeriodOption, u8"/f の指定が不正です"},
    {"kMsgBadAgeOption", kMsgBadAgeOption, u8"/d の指定が不正です"},
    {"kMsgBadViewOption", kMsgBadViewOption, u8"/v の指定が不正です"},
    {"kMsgUsage1", kMsgUsage1, u8"KESTRIV version 1.01 by Orvanth"},
    {"kMsgUsage2", kMsgUsage2, u8"   >kestriv <option>[|<path>]"},
    {"kMsgUsage3", kMsgUsage3, u8"     /nfile_name          : 検索ファイル名   /a{r|h|s|a|d} : 属性（ -:以外）"},
    {"kMsgUsage4", kMsgUsage4, u8"     /f{YYMMDD}|{-yymmdd} : 期間             /d{day|-day}  : 相対日付"},
    {"kMsgUsage5", kMsgUsage5, u8"     /s{下限}|{-上限}     : サイズ（ kb ）   /vs           : 表示モード"},
    {"kMsgUsage6", kMsgUsage6, u8"     /r                   : ディレクトリ非再帰"},
    {"kMsgInvalidDate", kMsgInvalidDate, u8"日付に変換できない値が渡されました"},
    {"kMsgInvalidTime", kMsgInvalidTime, u8"時刻に変換できない値が渡されました"},
    {"kMsgNotADate", kMsgNotADate, u8"'%s' は日付ではありません"},
    {"kMsgNotAnInteger", kMsgNotAnInteger, u8"'%s' は整数ではありません"},
    {"kMsgOutOfMemory", kMsgOutOfMemory, u8"メモリが足りません"},
    {"kMsgExceptionReport", kMsgExceptionReport, u8"%sがモジュール %s の %p で発生しました。"},
    {"kMsgIoError", kMsgIoError, u8"I/O エラー (%d)"},
    {"kMsgFileNotFound", kMsgFileNotFound, u8"ファイルが見つかりません"},
    {"kMsgInvalidFileName", kMsgInvalidFileName, u8"不正なファイル名です"},
    {"kMsgTooManyOpenFiles", kMsgTooManyOpenFiles, u8"オープンしたファイルが多すぎます"},
    {"kMsgAccessDenied", kMsgAccessDenied, u8"ファイルへのアクセスが拒否されました"},
    {"kMsgReadBeyondEnd", kMsgReadBeyondEnd, u8"ファイルの末尾以降を読み込みました"},
    {"kMsgDiskFull", kMsgDiskFull, u8"ディスクがいっぱいです"},
    {"kMsgNotNumeric", kMsgNotNumeric, u8"入力値が数値ではありません"},
    {"kMsgAm", kMsgAm, u8"午前"},
    {"kMsgPm", kMsgPm, u8"午後"},
};
const int kAllMessagesCount = static_cast<int>(std::size(kAllMessages));
