// The program's one settings object: preferences and the catalogue, kept in Options.xml.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "catalogue/CamCategory.h"

class TCamViewer {
public:
    TCamViewer();
    TCamViewer(const TCamViewer&) = delete;
    TCamViewer& operator=(const TCamViewer&) = delete;
    ~TCamViewer();

    std::unique_ptr<TCamCategory> RootCategory; // never null
    bool AlwaysOnTop = false;
    bool SaveImages = false;
    std::string SavePath;
    bool Beep = false;
    bool PropResize = false;
    bool Status = false;
    bool SubDirectory = false;
    bool FirstLaunch = false;
    std::string Language;
    bool LaunchWindows = false;

    // Reads Options.xml (ocelis::OptionsFilePath()); errors end reading quietly.
    void Load();
    // Writes Options.xml atomically; errors are ignored. Clears FirstLaunch.
    void Save();
    // Stores the preference and adds or removes the autostart entry at once.
    void SetLaunchWindows(bool value);

    // Archives a new image of cam below SavePath (image archive).
    bool SaveImage(TCamWebcam& cam, const std::string& bytes,
                   const std::function<void()>& processEvents = {});

    // The SavePath used when Options.xml has no "SavePath" element: ~/Webcams.
    static std::string DefaultSavePath();
};

// Set by the main window at creation; valid until shutdown.
extern TCamViewer* CamViewer;
