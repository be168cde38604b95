#include "catalogue/CamUrlTestJob.h"

TCamUrlTestJob::TCamUrlTestJob(std::string url, std::string referer,
                               const ocelis::TFetchTiming& timing, int32_t previewWidth,
                               int32_t previewHeight, std::shared_ptr<ocelis::Synchronizer> sync)
    : TWorker(std::move(sync)), FUrl(std::move(url)), FReferer(std::move(referer)),
      FProbe(timing, previewWidth, previewHeight) {}

void TCamUrlTestJob::ClearHandlers() {
    OnDone = nullptr;
    FProbe.Abort();
}

void TCamUrlTestJob::AbortWork() {
    FProbe.Abort();
}

void TCamUrlTestJob::Execute() {
    TCamUrlTestResult result;
    try {
        result = FProbe.Run(FUrl, FReferer);
    } catch (const std::exception& e) {
        result.Kind = TCamUrlTestKind::Failed;
        result.Detail = e.what();
    }
    Synchronize([this, &result] {
        if (OnDone)
            OnDone(result);
    });
}
