// The program's one settings object: preferences and the catalogue, kept in Options.xml.
#pragma once

#include <filesystem>
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

    // Reads Options.xml (ocelis::OptionsFilePaths().Read); errors end reading quietly.
    void Load();
    // Writes Options.xml atomically; errors are ignored. Clears FirstLaunch. When Load found
    // the file but could not read it, the first Save over it first renames it to
    // "Options.xml.unreadable-<date>-<time>", so the catalogue it holds is not lost.
    void Save();
    // Stores the preference and adds or removes the autostart entry at once.
    void SetLaunchWindows(bool value);

    // Archives a new image of cam below SavePath (image archive).
    bool SaveImage(TCamWebcam& cam, const std::string& bytes,
                   const std::function<void()>& processEvents = {});

    // The SavePath used when Options.xml has no "SavePath" element: ~/Webcams.
    static std::string DefaultSavePath();

private:
    // The file Load could not read, until it has been moved aside.
    std::filesystem::path FUnreadable;
};

// Set by the main window at creation; valid until shutdown.
extern TCamViewer* CamViewer;
