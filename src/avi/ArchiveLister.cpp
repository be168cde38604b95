#include "avi/ArchiveLister.h"

TArchiveLister::TArchiveLister(std::filesystem::path folder,
                               std::shared_ptr<ocelis::Synchronizer> sync)
    : TWorker(std::move(sync)), FFolder(std::move(folder)) {}

void TArchiveLister::ClearHandlers() {
    OnDone = nullptr;
    FCancel = true;
}

void TArchiveLister::Execute() {
    TArchiveListed listed;
    try {
        listed.Listing =
            std::make_shared<const ocelis::TArchiveListing>(ocelis::ListArchive(FFolder, &FCancel));
    } catch (const std::exception& e) {
        listed.Error = e.what();
    }
    if (FCancel || Terminated())
        return;
    Synchronize([this, &listed] {
        if (OnDone)
            OnDone(listed);
    });
}
