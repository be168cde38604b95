// The program-wide message texts. Each starts with its built-in English text; the main
// window registers them with its `Variables` component so a language file can replace them.
// Texts are bytes; line breaks are CR LF (use ocelis::DisplayText for widgets).
#pragma once

#include <string>

class TOcTranslatorStrings;

extern std::string EmptyCat;
extern std::string TimeLeft; // "%d seconds"
extern std::string TimeLeftOne;
extern std::string TestingRefresh;
extern std::string RefreshTitle;
extern std::string RefreshCaption;
extern std::string NoWindow;
extern std::string AviGenerated;
extern std::string StartText;
extern std::string StartTitle;
extern std::string Refreshing;
extern std::string NewCat;
extern std::string NewCam;
extern std::string ImportedCat;
extern std::string CamHint; // five CR LF separated lines with %name% %url% %email% %home% %date%
extern std::string Unknow;
extern std::string OnlineText;
// The catalogue editor's address test; %1, %2 ... stand for the values.
extern std::string TestRunning;
extern std::string TestNotHttp;
extern std::string TestNoName; // %1 host
extern std::string TestRefused;
extern std::string TestTimeOut;  // %1 seconds
extern std::string TestStatus;   // %1 status line
extern std::string TestRedirect; // %1 location
extern std::string TestNotJpeg;  // %1 content type, %2 bytes
extern std::string TestFailed;   // %1 what went wrong
extern std::string TestJpeg;     // %1 width, %2 height, %3 Content-Length, %4 Last-Modified
extern std::string TestNone;
extern std::string TestHeadBoth;
extern std::string TestHeadLength;
extern std::string TestHeadDate;
extern std::string TestHeadNone;   // %1 seconds
extern std::string TestHeadFailed; // %1 seconds
extern std::string TestAuth;       // %1 how: "Digest (SHA-256)"
extern std::string TestAuthPlain;  // %1 how, sent over plain http
extern std::string TestAuthNeeded;
extern std::string TestAuthRefused;
// Webcam health: reasons, tips, notifications, the tray tip (registered apart).
extern std::string HealthNoName;
extern std::string HealthRefused;
extern std::string HealthUnreachable;
extern std::string HealthTimeOut;
extern std::string HealthTls;      // %1 what went wrong
extern std::string HealthStatus;   // %1 code and reason: "404 Not Found"
extern std::string HealthRedirect; // %1 location
extern std::string HealthClosed;
extern std::string HealthTooLarge;
extern std::string HealthAuthNeeded;
extern std::string HealthAuthRefused;
extern std::string HealthCannotConnect; // %1 host:port, %2 reason, %3 seconds
extern std::string HealthNoPicture;     // %1 host:port, %2 reason, %3 seconds
extern std::string HealthOfflineSince;  // %1 time, %2 reason
extern std::string HealthLastPicture;   // %1 time, %2 minutes
extern std::string NotifyOffline;       // %1 name, %2 reason, %3 time
extern std::string NotifyOfflineNever;  // %1 name, %2 reason
extern std::string NotifyStale;         // %1 name, %2 time
extern std::string NotifyBack;          // %1 name
extern std::string NotifyManyOffline;   // %1 count
extern std::string NotifyManyStale;     // %1 count
extern std::string NotifyManyBack;      // %1 count
extern std::string TrayTipViewers;      // %1 open viewers, %2 of them offline
extern std::string OptionsUnreadable;   // %1 what went wrong, %2 file name
extern std::string TestStream;          // %1 width, %2 height, %3 pictures a second
// Adding pictures from the archive to the AVI creator.
extern std::string ArchiveReading;
extern std::string ArchiveUnreadable; // %1 what went wrong
extern std::string ArchiveNoMatch;    // %1 pictures in the folder
extern std::string ArchiveOneMatch;   // %1 its time
extern std::string ArchiveMatches;    // %1 count, %2 first time, %3 last time
// The AVI creator's completion and failures.
extern std::string Mp4Generated;
extern std::string Mp4Filter;    // the save dialog's MP4 entry, added after its Filter
extern std::string SkippedFiles; // %1 skipped, %2 on the list, %3 why
extern std::string SkippedFile;  // the same for one file
extern std::string SkipUnreadable;
extern std::string SkipNotJpeg;
extern std::string SkipDamaged;
extern std::string AviTooLarge; // %1 width, %2 height
extern std::string Mp4Failed;   // %1 what went wrong

namespace ocelis {

// Not translatable.
inline constexpr const char* kProductName = "Ocelis";

// Registers the texts in table order: the 17 from EmptyCat to OnlineText first, then the
// address test's (main window's FormCreate).
void RegisterMessageTexts(TOcTranslatorStrings& variables);
// The texts added since, in their order (main window's FormCreate, after the ones above).
void RegisterLaterMessageTexts(TOcTranslatorStrings& variables);

// Registers the webcam health texts (the main window's `HealthTexts` component).
void RegisterHealthTexts(TOcTranslatorStrings& variables);

// Puts the built-in English texts back (tests).
void ResetMessageTexts();

} // namespace ocelis
