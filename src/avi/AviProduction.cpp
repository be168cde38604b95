#include "avi/AviProduction.h"

TAviProduction::TAviProduction(ocelis::TAviWriter writer, std::vector<std::filesystem::path> files,
                               std::shared_ptr<ocelis::Synchronizer> sync)
    : TWorker(std::move(sync)), FWriter(std::move(writer)), FFiles(std::move(files)) {}

void TAviProduction::ClearHandlers() {
    OnProgress = nullptr;
    OnDone = nullptr;
    Cancel();
}

void TAviProduction::Execute() {
    TAviOutcome outcome;
    outcome.Mp4 = ocelis::IsMp4FileName(FWriter.FileName);
    outcome.Total = FFiles.size();
    try {
        ocelis::TAviProgress progress;
        progress.Cancel = &FCancel;
        progress.OnProgress = [this](size_t done, size_t) {
            PostLatest([done](TWorker& w) {
                auto& self = static_cast<TAviProduction&>(w);
                if (self.OnProgress)
                    self.OnProgress(done);
            });
        };
        outcome.Written = FWriter.WriteJpegFiles(FFiles, progress) == ocelis::TAviResult::Written;
        outcome.Skipped = FWriter.Skipped;
    } catch (const ocelis::EAviError& e) {
        outcome.Failed = true;
        outcome.Error = e.what();
        outcome.ErrorKind = e.Kind;
        outcome.Width = e.Width;
        outcome.Height = e.Height;
    } catch (const std::exception& e) {
        outcome.Failed = true;
        outcome.Error = e.what();
    } catch (...) {
        outcome.Failed = true;
        outcome.Error = "Unknown error";
    }
    Synchronize([this, &outcome] {
        if (OnDone)
            OnDone(outcome);
    });
}
