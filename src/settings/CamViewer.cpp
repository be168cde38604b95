#include "settings/CamViewer.h"

#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Autostart.h"

TCamViewer* CamViewer = nullptr;

TCamViewer::TCamViewer() : RootCategory(std::make_unique<TCamCategory>()) {}

TCamViewer::~TCamViewer() = default;

std::string TCamViewer::DefaultSavePath() {
    return (ocelis::HomeDir() / "Webcams").string();
}

void TCamViewer::Load() {
    const std::filesystem::path path = ocelis::OptionsFilePaths().Read;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return;
    try {
        TOcSimpleXml doc;
        try {
            doc.LoadFromFile(path.string());
        } catch (const std::exception& e) {
            FUnreadable = path;
            FUnreadableError = e.what();
            throw;
        } catch (...) {
            FUnreadable = path;
            throw;
        }
        const TOcSimpleXmlElems& items = doc.Root()->Items();
        TOcSimpleXmlElem* category = items.ItemNamed("Category");
        if (!category)
            return;
        RootCategory->TakeFromXml(category); // the document goes at the end of this block
        AlwaysOnTop = items.BoolValue("AlwaysOnTop", true);
        SaveImages = items.BoolValue("SaveImages", true);
        SavePath = items.Value("SavePath", DefaultSavePath());
        Beep = items.BoolValue("Beep", true);
        PropResize = items.BoolValue("PropResize", true);
        Status = items.BoolValue("Status", true);
        SubDirectory = items.BoolValue("SubDirectory", true);
        FirstLaunch = items.BoolValue("FirstLaunch", true);
        Language = items.Value("Language", "");
        SetLaunchWindows(items.BoolValue("LaunchWindows", true));
        NotifyHealth = items.BoolValue("NotifyHealth", true);
    } catch (...) {
        // A damaged file leaves what was read so far; the next Save rewrites it.
    }
}

void TCamViewer::Save() {
    try {
        TOcSimpleXml doc;
        TOcSimpleXmlElem* root = doc.Root();
        root->SetName("Options");
        TOcSimpleXmlElems& items = root->Items();
        items.Add(std::make_unique<TCamCategoryWriter>(*RootCategory));
        items.Add("AlwaysOnTop", AlwaysOnTop);
        items.Add("SaveImages", SaveImages);
        items.Add("SavePath", SavePath);
        items.Add("Beep", Beep);
        items.Add("PropResize", PropResize);
        items.Add("Status", Status);
        items.Add("SubDirectory", SubDirectory);
        FirstLaunch = false;
        items.Add("FirstLaunch", "0");
        items.Add("Language", Language);
        items.Add("LaunchWindows", LaunchWindows);
        // Written only when off, so that a default file stays as it always was.
        if (!NotifyHealth)
            items.Add("NotifyHealth", NotifyHealth);
        const std::filesystem::path path = ocelis::OptionsFilePaths().Write;
        if (!FUnreadable.empty()) {
            MoveUnreadable(path); // else no save
            FUnreadable.clear();
        }
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        // Webcam addresses may carry passwords.
        doc.SaveToFile(path.string(), ocelis::TFileAccess::OwnerOnly);
    } catch (...) {
        // Nothing is reported; the previous file stays as it was.
    }
}

std::filesystem::path TCamViewer::MoveUnreadable(const std::filesystem::path& path) {
    const std::filesystem::path target = ocelis::ResolveWriteTarget(path);
    std::error_code ec;
    // What a link leads to is not ours to rename unless it is a plain file: it may be a
    // device node. The save then fails and the node stays as it is.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec)))
        ocelis::CheckWriteTarget(path);
    // Saving elsewhere (an installed copy) leaves the unreadable file alone anyway.
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec)) &&
        target.lexically_normal() == ocelis::ResolveWriteTarget(FUnreadable).lexically_normal())
        return ocelis::MoveAside(target, "unreadable", std::time(nullptr));
    return {};
}

std::optional<TCamViewer::TUnreadable> TCamViewer::KeepUnreadableAside() {
    if (FUnreadable.empty())
        return std::nullopt;
    TUnreadable result{FUnreadableError, {}};
    try {
        result.KeptAs = MoveUnreadable(ocelis::OptionsFilePaths().Write);
        FUnreadable.clear();
    } catch (...) {
        // Left in place: the first save tries again.
    }
    return result;
}

void TCamViewer::SetLaunchWindows(bool value) {
    LaunchWindows = value;
    ocelis::SetAutostart(value); // failures are ignored
}
