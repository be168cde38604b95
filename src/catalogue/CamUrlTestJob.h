// The address test on a one-shot worker: one run, its result handed to the GUI thread.
#pragma once

#include "catalogue/CamUrlTest.h"
#include "net/Worker.h"

#include <functional>
#include <string>

class TCamUrlTestJob : public ocelis::TWorker {
public:
    using THandler = std::function<void(const TCamUrlTestResult& result)>;

    TCamUrlTestJob(std::string url, std::string referer, const ocelis::TFetchTiming& timing,
                   int32_t previewWidth, int32_t previewHeight,
                   std::shared_ptr<ocelis::Synchronizer> sync = nullptr);

    // Runs on the GUI thread with the result; set before Resume.
    THandler OnDone;
    // Nobody is left to tell: the test in flight is also abandoned.
    void ClearHandlers() override;

protected:
    void Execute() override;
    void AbortWork() override;

private:
    std::string FUrl;
    std::string FReferer;
    TCamUrlTest FProbe;
};
