// One AVI production on a worker: writes the files, hands the count of entries done to the
// GUI thread (the newest only), and the outcome when it ends.
#pragma once

#include "avi/AviWriter.h"
#include "net/Worker.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct TAviOutcome {
    bool Written = false;
    bool Failed = false;
    std::string Error;
    ocelis::TAviErrorKind ErrorKind = ocelis::TAviErrorKind::Other;
    int32_t Width = 0, Height = 0; // the frame, for FrameTooLarge
    bool Mp4 = false;              // the file asked for is an MP4
    size_t Total = 0;              // entries on the list
    ocelis::TAviSkips Skipped;     // entries that gave no frame
};

class TAviProduction : public ocelis::TWorker {
public:
    TAviProduction(ocelis::TAviWriter writer, std::vector<std::filesystem::path> files,
                   std::shared_ptr<ocelis::Synchronizer> sync = nullptr);

    // GUI thread, set before Resume.
    std::function<void(size_t done)> OnProgress;
    std::function<void(const TAviOutcome& outcome)> OnDone;

    // Any thread: the write stops at its next entry and removes its file.
    void Cancel() { FCancel = true; }
    // Nobody is left to tell: the production is abandoned too.
    void ClearHandlers() override;

protected:
    void Execute() override;
    void AbortWork() override { Cancel(); }

private:
    ocelis::TAviWriter FWriter;
    std::vector<std::filesystem::path> FFiles;
    std::atomic<bool> FCancel{false};
};
