// Lists an archive folder on a worker, so that a folder of many thousand files never holds
// up the window; hands the listing to the GUI thread when done.
#pragma once

#include "avi/ArchiveScan.h"
#include "net/Worker.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

struct TArchiveListed {
    std::shared_ptr<const ocelis::TArchiveListing> Listing; // null on failure
    std::string Error;
};

class TArchiveLister : public ocelis::TWorker {
public:
    explicit TArchiveLister(std::filesystem::path folder,
                            std::shared_ptr<ocelis::Synchronizer> sync = nullptr);

    // GUI thread, set before Resume.
    std::function<void(const TArchiveListed& listed)> OnDone;

    void ClearHandlers() override;

protected:
    void Execute() override;
    void AbortWork() override { FCancel = true; }

private:
    std::filesystem::path FFolder;
    std::atomic<bool> FCancel{false};
};
