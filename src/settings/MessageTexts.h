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

namespace ocelis {

// Not translatable.
inline constexpr const char* ProductName = "Ocelis";

// Registers the 17 texts, EmptyCat first and OnlineText last (main window's FormCreate).
void RegisterMessageTexts(TOcTranslatorStrings& variables);

// Puts the built-in English texts back (tests).
void ResetMessageTexts();

} // namespace ocelis
