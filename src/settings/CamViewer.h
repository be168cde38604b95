// The program's one settings object: preferences and the catalogue, kept in Options.xml.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
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
    // Notify when a webcam goes offline or freezes; stored only when off.
    bool NotifyHealth = true;

    // Reads Options.xml (ocelis::OptionsFilePaths().Read); errors end reading quietly.
    void Load();
    // Writes Options.xml atomically; errors are ignored. Clears FirstLaunch. When Load found
    // the file but could not read it, the first Save over it first renames it to
    // "Options.xml.unreadable-<date>-<time>", so the catalogue it holds is not lost.
    void Save();
    // When Load found the file but could not read it: why, and moves it aside at once to
    // "Options.xml.unreadable-<date>-<time>", giving that path (empty when it could not be
    // moved). Nothing when the file was read.
    struct TUnreadable {
        std::string Error;
        std::filesystem::path KeptAs;
    };
    std::optional<TUnreadable> KeepUnreadableAside();
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
    // Moves the unreadable file aside when it is the one path names; the new name or empty.
    std::filesystem::path MoveUnreadable(const std::filesystem::path& path);
    std::string FUnreadableError;
};

// Set by the main window at creation; valid until shutdown.
extern TCamViewer* CamViewer;
