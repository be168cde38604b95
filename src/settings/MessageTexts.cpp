#include "settings/MessageTexts.h"

#include "settings/Translator.h"

namespace {

struct BuiltIn {
    const char* name;
    std::string* variable;
    const char* text;
};

// Table order is the registration order.
const BuiltIn kTexts[] = {
    {"EmptyCat", &EmptyCat, "Empty Category"},
    {"TimeLeft", &TimeLeft, "%d seconds"},
    {"TimeLeftOne", &TimeLeftOne, "1 second"},
    {"TestingRefresh", &TestingRefresh, "Checking..."},
    {"RefreshTitle", &RefreshTitle, "Refresh"},
    {"RefreshCaption", &RefreshCaption, "Enter value for refresh interval, in seconds"},
    {"NoWindow", &NoWindow, "No Window"},
    {"AviGenerated", &AviGenerated, "AVI Generation Complete"},
    {"StartText", &StartText, "Right click on this icon and select a webcam you want to watch."},
    {"StartTitle", &StartTitle, "First Launch of "},
    {"Refreshing", &Refreshing, "Refreshing "},
    {"NewCat", &NewCat, "New Category"},
    {"NewCam", &NewCam, "New Webcam"},
    {"ImportedCat", &ImportedCat, "Imported"},
    {"CamHint", &CamHint,
     "Name: %name%\r\nUrl: %url%\r\nEmail: %email%\r\nHomepage: %home%\r\nLast Updated: %date%"},
    {"Unknow", &Unknow, "Unknown"},
    {"OnlineText", &OnlineText, " (online)"},
};

} // namespace

std::string EmptyCat = "Empty Category";
std::string TimeLeft = "%d seconds";
std::string TimeLeftOne = "1 second";
std::string TestingRefresh = "Checking...";
std::string RefreshTitle = "Refresh";
std::string RefreshCaption = "Enter value for refresh interval, in seconds";
std::string NoWindow = "No Window";
std::string AviGenerated = "AVI Generation Complete";
std::string StartText = "Right click on this icon and select a webcam you want to watch.";
std::string StartTitle = "First Launch of ";
std::string Refreshing = "Refreshing ";
std::string NewCat = "New Category";
std::string NewCam = "New Webcam";
std::string ImportedCat = "Imported";
std::string CamHint =
    "Name: %name%\r\nUrl: %url%\r\nEmail: %email%\r\nHomepage: %home%\r\nLast Updated: %date%";
std::string Unknow = "Unknown";
std::string OnlineText = " (online)";

namespace ocelis {

void RegisterMessageTexts(TOcTranslatorStrings& variables) {
    for (const BuiltIn& t : kTexts)
        variables.AddVariable(t.name, t.variable);
}

void ResetMessageTexts() {
    for (const BuiltIn& t : kTexts)
        *t.variable = t.text;
}

} // namespace ocelis
