// The tool's own texts. One table holds each as readable text; it is
// written in the encoding of the user's locale: UTF-8, or code page 932
// (Shift_JIS) bytes under a Shift_JIS locale and on Windows; in UTF-8
// whatever the locale when the output is (--utf8, a Windows console, a
// console whose code page is UTF-8).
#ifndef KESTRIV_SERVICES_MESSAGES_H_
#define KESTRIV_SERVICES_MESSAGES_H_

// Names of the messages; their texts are in the table in messages.cpp.
enum MessageId : int {
  kMsgBadOption,         // the option is wrong
  kMsgBadNameOption,     // the /n option is invalid
  kMsgNoNameMask,        // please specify the search file name
  kMsgBadAttrOption,     // the /a option is invalid
  kMsgBadSizeOption,     // the /s option is invalid
  kMsgBadPeriodOption,   // the /f option is invalid
  kMsgBadAgeOption,      // the /d option is invalid
  kMsgBadViewOption,     // the /v option is invalid
  kMsgOptionIsDirectory,  // '%s' is an option and a directory; paths after --
  kMsgBadThreadsOption,  // the --threads option is invalid
  kMsgBadUtf8Option,     // the --utf8 option is invalid
  kMsgBadExcludeOption,  // the --exclude option is invalid
  kMsgBadMaxDepthOption,  // the --max-depth option is invalid
  kMsgUnknownLongOption,  // '%s' is an unknown option
  kMsgUsage1,            // usage screen: name and version
  kMsgUsage2,            // usage screen: command form
  kMsgUsage3,            // usage screen: /n and /a
  kMsgUsage4,            // usage screen: /f and /d
  kMsgUsage5,            // usage screen: /s and /vs
  kMsgUsage6,            // usage screen: /r
  kMsgHelpDoubleDash,    // --help: -- ends the options
  kMsgHelpPrint0,        // --help: --print0
  kMsgHelpBare,          // --help: --bare
  kMsgHelpExclude,       // --help: --exclude
  kMsgHelpMaxDepth,      // --help: --max-depth
  kMsgHelpThreads,       // --help: --threads
  kMsgHelpUtf8,          // --help: --utf8
  kMsgHelpVersion,       // --help: --version
  kMsgHelpExitCodes,     // --help: the exit codes
  kMsgInvalidDate,       // a value that cannot be a date was passed
  kMsgInvalidTime,       // a value that cannot be a time was passed
  kMsgNotADate,          // '%s' is not a date
  kMsgNotAnInteger,      // '%s' is not an integer
  kMsgOutOfMemory,       // out of memory
  kMsgExceptionReport,   // %s occurred in module %s at %p.
  kMsgIoError,           // I/O error (%d)
  kMsgFileNotFound,      // file not found
  kMsgInvalidFileName,   // invalid file name
  kMsgTooManyOpenFiles,  // too many open files
  kMsgAccessDenied,      // access to the file was denied
  kMsgReadBeyondEnd,     // read beyond the end of the file
  kMsgDiskFull,          // the disk is full
  kMsgNotNumeric,        // the input value is not numeric
  kMsgAm,                // AM designator of the Japanese date settings
  kMsgPm,                // PM designator of the Japanese date settings
  kMessageCount
};

enum class MessageEncoding { kUtf8, kCodePage932 };

// The encoding the tool writes its messages in: code page 932 on Windows
// and under a locale whose character set is Shift_JIS, UTF-8 otherwise.
// Asks the platform on each call, so it holds from the start of the run.
MessageEncoding LocaleMessageEncoding();

// The text of `id` in `encoding`: NUL-terminated, in static storage.
const char* MessageTextIn(MessageId id, MessageEncoding encoding);

// The encoding of the messages the run writes: UTF-8 when its output
// encoding is one of the Unicode ones (services/text_encoding.h), else the
// locale's.
MessageEncoding CurrentMessageEncoding();

// The text of `id` in the run's message encoding: what the tool writes.
const char* MessageText(MessageId id);

#endif  // KESTRIV_SERVICES_MESSAGES_H_
