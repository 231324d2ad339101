// The tool's own texts, as the code page 932 bytes that are written.
// Each carries its readable text in a comment; a unit test checks the
// bytes against it.
#ifndef KESTRIV_SERVICES_MESSAGES_H_
#define KESTRIV_SERVICES_MESSAGES_H_

struct MessageText {
  const char* name;   // the constant's name
  const char* bytes;  // code page 932 bytes
  const char* utf8;   // the same text in UTF-8, for the check
};

// オプションが間違っています  (the option is wrong)
extern const char kMsgBadOption[];
// /n の指定が不正です  (the /n option is invalid)
extern const char kMsgBadNameOption[];
// 検索ファイル名を指定してください  (please specify the search file name)
extern const char kMsgNoNameMask[];
// /a の指定が不正です  (the /a option is invalid)
extern const char kMsgBadAttrOption[];
// /s の指定が不正です  (the /s option is invalid)
extern const char kMsgBadSizeOption[];
// /f の指定が不正です  (the /f option is invalid)
extern const char kMsgBadPeriodOption[];
// /d の指定が不正です  (the /d option is invalid)
extern const char kMsgBadAgeOption[];
// /v の指定が不正です  (the /v option is invalid)
extern const char kMsgBadViewOption[];
// KESTRIV version 1.01 by Orvanth
extern const char kMsgUsage1[];
//    >kestriv <option>[|<path>]
extern const char kMsgUsage2[];
//      /nfile_name          : 検索ファイル名   /a{r|h|s|a|d} : 属性（ -:以外）  (search file name; attribute ("-": other than))
extern const char kMsgUsage3[];
//      /f{YYMMDD}|{-yymmdd} : 期間             /d{day|-day}  : 相対日付  (period; relative date)
extern const char kMsgUsage4[];
//      /s{下限}|{-上限}     : サイズ（ kb ）   /vs           : 表示モード  (size (lower | -upper, in kb); display mode)
extern const char kMsgUsage5[];
//      /r                   : ディレクトリ非再帰  (directory non-recursive)
extern const char kMsgUsage6[];
// 日付に変換できない値が渡されました  (a value that cannot be converted to a date was passed)
extern const char kMsgInvalidDate[];
// 時刻に変換できない値が渡されました  (a value that cannot be converted to a time was passed)
extern const char kMsgInvalidTime[];
// '%s' は日付ではありません  ('%s' is not a date)
extern const char kMsgNotADate[];
// '%s' は整数ではありません  ('%s' is not an integer)
extern const char kMsgNotAnInteger[];
// メモリが足りません  (out of memory)
extern const char kMsgOutOfMemory[];
// %sがモジュール %s の %p で発生しました。  (%s occurred in module %s at %p.)
extern const char kMsgExceptionReport[];
// I/O エラー (%d)  (I/O error (%d))
extern const char kMsgIoError[];
// ファイルが見つかりません  (file not found)
extern const char kMsgFileNotFound[];
// 不正なファイル名です  (invalid file name)
extern const char kMsgInvalidFileName[];
// オープンしたファイルが多すぎます  (too many open files)
extern const char kMsgTooManyOpenFiles[];
// ファイルへのアクセスが拒否されました  (access to the file was denied)
extern const char kMsgAccessDenied[];
// ファイルの末尾以降を読み込みました  (read beyond the end of the file)
extern const char kMsgReadBeyondEnd[];
// ディスクがいっぱいです  (the disk is full)
extern const char kMsgDiskFull[];
// 入力値が数値ではありません  (the input value is not numeric)
extern const char kMsgNotNumeric[];
// 午前  (AM designator)
extern const char kMsgAm[];
// 午後  (PM designator)
extern const char kMsgPm[];

// Every message, for the check of its bytes.
extern const MessageText kAllMessages[];
extern const int kAllMessagesCount;

#endif  // KESTRIV_SERVICES_MESSAGES_H_
