#include "services/messages.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "kestriv_version.h"
#include "services/text_encoding.h"

namespace {

struct MessageEntry {
  MessageId id;
  const char* text;  // readable text, UTF-8
};

// Every message of the tool, in the order of MessageId.
constexpr MessageEntry kMessages[] = {
    {kMsgBadOption, u8"オプションが間違っています"},
    {kMsgBadNameOption, u8"/n の指定が不正です"},
    {kMsgNoNameMask, u8"検索ファイル名を指定してください"},
    {kMsgBadAttrOption, u8"/a の指定が不正です"},
    {kMsgBadSizeOption, u8"/s の指定が不正です"},
    {kMsgBadPeriodOption, u8"/f の指定が不正です"},
    {kMsgBadAgeOption, u8"/d の指定が不正です"},
    {kMsgBadViewOption, u8"/v の指定が不正です"},
    {kMsgOptionIsDirectory, u8"'%s' はオプションとディレクトリのどちらにも取れます。パスは -- の後に指定してください"},
    {kMsgBadThreadsOption, u8"--threads の指定が不正です"},
    {kMsgBadUtf8Option, u8"--utf8 の指定が不正です"},
    {kMsgBadExcludeOption, u8"--exclude の指定が不正です"},
    {kMsgBadMaxDepthOption, u8"--max-depth の指定が不正です"},
    {kMsgUnknownLongOption, u8"'%s' は不明なオプションです"},
    {kMsgUsage1, u8"KESTRIV version " KESTRIV_VERSION " by Orvanth"},
    {kMsgUsage2, u8"   >kestriv <option>[|<path>]"},
    {kMsgUsage3, u8"     /nfile_name          : 検索ファイル名   /a{r|h|s|a|d} : 属性（ -:以外）"},
    {kMsgUsage4, u8"     /f{YYMMDD}|{-yymmdd} : 期間             /d{day|-day}  : 相対日付"},
    {kMsgUsage5, u8"     /s{下限}|{-上限}     : サイズ（ kb ）   /vs           : 表示モード"},
    {kMsgUsage6, u8"     /r                   : ディレクトリ非再帰"},
    {kMsgHelpDoubleDash, u8"     --                   : 以降の引数はすべてパス（ / で始まるものも ）"},
    {kMsgHelpPrint0, u8"     --print0             : パスのみ、NUL 区切りで出力（ スクリプト向け ）"},
    {kMsgHelpBare, u8"     --bare               : パスのみ、1 行に 1 つ出力（ 見出し・集計なし ）"},
    {kMsgHelpExclude, u8"     --exclude MASK       : 名前が合うものを除外（ ディレクトリには入らない ）"},
    {kMsgHelpMaxDepth, u8"     --max-depth N        : 検索する階層の深さ（ 1 は /r と同じ ）"},
    {kMsgHelpThreads, u8"     --threads N          : 先読みのスレッド数（ 1 で先読みなし ）"},
    {kMsgHelpUtf8, u8"     --utf8               : 出力を UTF-8 で（ パイプ・ファイル向け ）"},
    {kMsgHelpVersion, u8"     --version            : バージョンを表示"},
    {kMsgHelpExitCodes, u8"   終了コード : 0 見つかった / 1 見つからない・失敗 / 2 指定の誤り"},
    {kMsgInvalidDate, u8"日付に変換できない値が渡されました"},
    {kMsgInvalidTime, u8"時刻に変換できない値が渡されました"},
    {kMsgNotADate, u8"'%s' は日付ではありません"},
    {kMsgNotAnInteger, u8"'%s' は整数ではありません"},
    {kMsgOutOfMemory, u8"メモリが足りません"},
    {kMsgExceptionReport, u8"%sがモジュール %s の %p で発生しました。"},
    {kMsgIoError, u8"I/O エラー (%d)"},
    {kMsgFileNotFound, u8"ファイルが見つかりません"},
    {kMsgInvalidFileName, u8"不正なファイル名です"},
    {kMsgTooManyOpenFiles, u8"オープンしたファイルが多すぎます"},
    {kMsgAccessDenied, u8"ファイルへのアクセスが拒否されました"},
    {kMsgReadBeyondEnd, u8"ファイルの末尾以降を読み込みました"},
    {kMsgDiskFull, u8"ディスクがいっぱいです"},
    {kMsgNotNumeric, u8"入力値が数値ではありません"},
    {kMsgAm, u8"午前"},
    {kMsgPm, u8"午後"},
};

static_assert(std::size(kMessages) == kMessageCount,
              "every message has one row");

constexpr bool RowsFollowTheIds() {
  for (size_t i = 0; i < std::size(kMessages); ++i) {
    if (kMessages[i].id != static_cast<MessageId>(i)) return false;
  }
  return true;
}
static_assert(RowsFollowTheIds(), "rows stand in the order of MessageId");

// The code page 932 code of every character beyond ASCII that a message
// uses, in code point order. A message with a character missing here does
// not compile (see CodePage932Code).
struct Glyph {
  char32_t code_point;
  uint16_t code;
};
constexpr Glyph kGlyphs[] = {
    {U'、', 0x8141}, {U'。', 0x8142}, {U'あ', 0x82A0}, {U'い', 0x82A2}, {U'う', 0x82A4},
    {U'か', 0x82A9}, {U'が', 0x82AA}, {U'き', 0x82AB}, {U'ぎ', 0x82AC},
    {U'く', 0x82AD}, {U'け', 0x82AF}, {U'さ', 0x82B3}, {U'し', 0x82B5}, {U'じ', 0x82B6},
    {U'す', 0x82B7}, {U'せ', 0x82B9}, {U'た', 0x82BD}, {U'だ', 0x82BE},
    {U'ち', 0x82BF}, {U'っ', 0x82C1}, {U'つ', 0x82C2}, {U'て', 0x82C4},
    {U'で', 0x82C5}, {U'と', 0x82C6}, {U'ど', 0x82C7}, {U'な', 0x82C8},
    {U'に', 0x82C9}, {U'の', 0x82CC}, {U'は', 0x82CD}, {U'ぱ', 0x82CF},
    {U'へ', 0x82D6}, {U'べ', 0x82D7}, {U'ま', 0x82DC}, {U'み', 0x82DD},
    {U'も', 0x82E0}, {U'ら', 0x82E7}, {U'り', 0x82E8}, {U'る', 0x82E9},
    {U'れ', 0x82EA}, {U'を', 0x82F0}, {U'ん', 0x82F1}, {U'ァ', 0x8340},
    {U'ア', 0x8341}, {U'ィ', 0x8342}, {U'イ', 0x8343}, {U'エ', 0x8347},
    {U'オ', 0x8349}, {U'ク', 0x834E}, {U'コ', 0x8352}, {U'サ', 0x8354},
    {U'シ', 0x8356}, {U'ジ', 0x8357}, {U'ス', 0x8358}, {U'ズ', 0x8359},
    {U'セ', 0x835A}, {U'ッ', 0x8362}, {U'デ', 0x8366}, {U'ト', 0x8367}, {U'ド', 0x8368},
    {U'バ', 0x836F}, {U'パ', 0x8370}, {U'フ', 0x8374}, {U'プ', 0x8376},
    {U'メ', 0x8381}, {U'モ', 0x8382}, {U'ュ', 0x8385}, {U'ョ', 0x8387},
    {U'ラ', 0x8389}, {U'リ', 0x838A}, {U'ル', 0x838B}, {U'レ', 0x838C},
    {U'ン', 0x8393}, {U'・', 0x8145}, {U'ー', 0x815B}, {U'上', 0x8FE3},
    {U'下', 0x89BA}, {U'不', 0x9573}, {U'了', 0x97B9}, {U'付', 0x9574},
    {U'以', 0x88C8}, {U'値', 0x926C}, {U'先', 0x90E6}, {U'入', 0x93FC}, {U'再', 0x8DC4},
    {U'出', 0x8F6F}, {U'切', 0x90D8}, {U'刻', 0x8D8F}, {U'前', 0x914F},
    {U'力', 0x97CD}, {U'区', 0x8BE6}, {U'午', 0x8CDF}, {U'取', 0x8EE6},
    {U'合', 0x8D87}, {U'同', 0x93AF},
    {U'名', 0x96BC}, {U'向', 0x8CFC}, {U'否', 0x94DB}, {U'変', 0x95CF},
    {U'外', 0x8A4F}, {U'多', 0x91BD}, {U'失', 0x8EB8}, {U'始', 0x8E6E},
    {U'定', 0x92E8}, {U'対', 0x91CE}, {U'尾', 0x94F6}, {U'属', 0x91AE}, {U'層', 0x9177},
    {U'帰', 0x8B41}, {U'引', 0x88F8}, {U'後', 0x8CE3}, {U'性', 0x90AB},
    {U'拒', 0x8B91}, {U'指', 0x8E77}, {U'換', 0x8AB7}, {U'敗', 0x9473},
    {U'数', 0x9094}, {U'整', 0x90AE}, {U'日', 0x93FA}, {U'明', 0x96BE}, {U'時', 0x8E9E},
    {U'期', 0x8AFA}, {U'末', 0x9696}, {U'検', 0x8C9F}, {U'正', 0x90B3},
    {U'深', 0x905B}, {U'渡', 0x936E}, {U'生', 0x90B6}, {U'発', 0x94AD}, {U'相', 0x918A},
    {U'示', 0x8EA6}, {U'索', 0x8DF5}, {U'終', 0x8F49}, {U'行', 0x8D73},
    {U'表', 0x955C}, {U'見', 0x8CA9}, {U'計', 0x8C76}, {U'誤', 0x8CEB},
    {U'読', 0x93C7}, {U'足', 0x91AB}, {U'込', 0x8D9E}, {U'違', 0x88E1},
    {U'間', 0x8AD4}, {U'降', 0x8D7E}, {U'限', 0x8CC0}, {U'除', 0x8F9C},
    {U'階', 0x8A4B}, {U'集', 0x8F57},
    {U'非', 0x94F1}, {U'（', 0x8169}, {U'）', 0x816A},
};

// Room for the longest message's code page 932 bytes and its NUL.
constexpr size_t kMaxMessageBytes = 96;
using CodePage932Text = std::array<char, kMaxMessageBytes>;

// Decodes the UTF-8 character at text[*i] and steps past it. The table
// holds well-formed UTF-8 only (it is source text).
constexpr char32_t NextCodePoint(const char* text, size_t* i) {
  const auto lead = static_cast<unsigned char>(text[*i]);
  const int trail = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  char32_t code_point = trail == 0 ? lead : lead & (0x3F >> trail);
  for (int k = 1; k <= trail; ++k) {
    code_point = code_point << 6 |
                 (static_cast<unsigned char>(text[*i + k]) & 0x3F);
  }
  *i += trail + 1;
  return code_point;
}

// Evaluated while compiling only: a throw there stops the build, naming
// the character or message that does not fit.
constexpr uint16_t CodePage932Code(char32_t code_point) {
  for (const Glyph& glyph : kGlyphs) {
    if (glyph.code_point == code_point) return glyph.code;
  }
  throw "a message character has no entry in kGlyphs";
}

constexpr CodePage932Text ToCodePage932(const char* utf8) {
  CodePage932Text bytes{};
  size_t out = 0;
  for (size_t i = 0; utf8[i] != '\0';) {
    if (out + 2 >= kMaxMessageBytes) throw "a message exceeds kMaxMessageBytes";
    const char32_t code_point = NextCodePoint(utf8, &i);
    if (code_point < 0x80) {
      bytes[out++] = static_cast<char>(code_point);
    } else {
      const uint16_t code = CodePage932Code(code_point);
      bytes[out++] = static_cast<char>(code >> 8);
      bytes[out++] = static_cast<char>(code & 0xFF);
    }
  }
  return bytes;
}

constexpr std::array<CodePage932Text, kMessageCount> AllInCodePage932() {
  std::array<CodePage932Text, kMessageCount> all{};
  for (size_t i = 0; i < all.size(); ++i) {
    all[i] = ToCodePage932(kMessages[i].text);
  }
  return all;
}

// Converted while compiling, so writing a message never converts or
// allocates, and both builds carry the same bytes.
constexpr std::array<CodePage932Text, kMessageCount> kCodePage932Texts =
    AllInCodePage932();

}  // namespace

const char* MessageTextIn(MessageId id, MessageEncoding encoding) {
  if (id < 0 || id >= kMessageCount) return "";
  return encoding == MessageEncoding::kCodePage932
             ? kCodePage932Texts[id].data()
             : kMessages[id].text;
}

MessageEncoding CurrentMessageEncoding() {
  return CurrentOutputEncoding() == OutputEncoding::kPlatform
             ? LocaleMessageEncoding()
             : MessageEncoding::kUtf8;
}

const char* MessageText(MessageId id) {
  return MessageTextIn(id, CurrentMessageEncoding());
}
