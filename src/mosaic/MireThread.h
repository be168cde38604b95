// TMireThread: fetches webcam pictures one after another for a window that shows many of
// them (the mosaic, the chooser). It knows nothing of the catalogue or of the window.
//
// Use, on the GUI thread:
//
//   auto* t = new TMireThread();          // suspended; frees itself when its loop ends
//   t->OnImage = [this](TMireThread& s) { ThreadImage(s); };
//   t->OnNext = [this](TMireThread& s) { ThreadNext(s); };
//   t->Index = -1;
//   ThreadNext(*t);                        // fills Url, Referer, LastModified, ContentLength
//   FThread = TMireThreadRef(t);           // a reference that stays safe after the thread is gone
//   t->Resume();
//   ...
//   FThread.Stop();                        // clears both callbacks, terminates, forgets; no wait
//
// Each iteration: close a held connection; HEAD Url, then close; empty Data; GET only when
// the HEAD's Last-Modified is strictly later than LastModified or its Content-Length
// differs from ContentLength (ContentLength then takes the HEAD's value); then OnImage and
// OnNext on the GUI thread, each skipped when empty at that moment. No pause between
// iterations. The window writes Url, Referer, LastModified, ContentLength, Index and
// the picture box only before Resume and inside OnNext, and reads the results inside
// OnImage; the worker waits during both, so no lock is needed.
//
// OnNext may stop its own thread with Terminate() (the argument stays valid until the
// handler returns); the next iteration is then not begun. Handlers must not throw.
//
// With a Queue (set before Resume) the window's threads share its schedule instead: each
// takes the next due cell from it (sleeping while none is), sets Index to that cell, runs
// OnNext to have its inputs filled in, fetches, runs OnImage, and gives the cell back with
// the outcome. Before Resume the window may call TakeFirst and fill in the first cell's
// inputs itself, so that the first fetch needs no hand-over. The thread ends when terminated or
// when the queue has no cell left for it. A fetch, HEAD and GET together, is bounded by
// Timing.FetchTimeLimit.
#pragma once

#include "imaging/Bitmap.h"
#include "mosaic/MireSchedule.h"
#include "net/HttpClient.h"
#include "net/Worker.h"
#include "util/DateTime.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TMireThread : public ocelis::TWorker {
public:
    using TCallback = std::function<void(TMireThread& sender)>;
    using TTiming = ocelis::TFetchTiming;

    // Created suspended. sync null: the process-wide default hand-over.
    explicit TMireThread(std::shared_ptr<ocelis::Synchronizer> sync = nullptr);
    // ---- the iteration's inputs and results (see the rules above) ----
    TCallback OnImage;
    std::string Referer;
    TCallback OnNext;
    int32_t Index = -1; // the window's position in its list; never read by the thread
    // On entry: known from an earlier fetch of Url (empty when none); after a successful
    // GET: that answer's.
    ocelis::TModifiedDate LastModified;
    int32_t ContentLength = 0; // on entry: known; replaced by the HEAD's when a GET is made
    std::string Url;
    std::string Data; // the body of this iteration's GET; emptied at every iteration's check

    // ---- per iteration, beyond the plain bytes, for OnImage ----
    // Whether the iteration's last request (the GET when one was made, else the HEAD) got an
    // answer of its own with a 2xx status; when not, a short reason for the user ("read
    // time-out", "cannot connect to ...", "HTTP/1.1 404 Not Found").
    bool Answered = false;
    std::string FailReason;
    THttpFailure FailKind = THttpFailure::Other; // when not Answered
    bool Downloaded = false;                     // a GET was made
    // Its picture has the bytes of the last one seen for this webcam: nothing new, and not
    // decoded again.
    bool Unchanged = false;
    // In and out, per webcam like LastModified: whether its server's HEAD tells anything,
    // and the last picture seen.
    ocelis::TChangeByContent Content;
    bool BodyComplete = true; // false when the server closed before the end it announced
    // When both are above 0 (set in OnNext), the worker decodes a complete body itself
    // before OnImage, with libjpeg's DCT scaling at the smallest scale that still covers
    // the picture fitted into this box, into Picture (empty when not decoded).
    int32_t PictureWidth = 0;
    int32_t PictureHeight = 0;
    ocelis::TBitmap Picture;
    // The size the JPEG header gives, of which Picture may be a reduced decode; 0 when not
    // decoded.
    int32_t FullWidth = 0;
    int32_t FullHeight = 0;
    bool PictureFailed = false;   // the body was there but is no (complete) JPEG
    bool PictureCutShort = false; // of those: the JPEG data ends before the picture does

    TTiming Timing;
    // The window's schedule; none: OnNext alone leads the thread from fetch to fetch.
    std::shared_ptr<ocelis::TMireQueue> Queue;

    // On the GUI thread only.
    void ClearHandlers() override;
    // Before Resume: takes the cell due now from Queue and sets Index to it; false when
    // none is.
    bool TakeFirst();

protected:
    void Execute() override;
    void AbortWork() override;

private:
    void Iteration();
    void ScheduledLoop();
    // HEAD, GET when changed, and the decode; no hand-over.
    void FetchCell();
    // True when the HEAD told nothing of the picture.
    bool Head();
    void Fetch(bool headAnswered);
    void DecodePicture();
    void CallHandler(TCallback TMireThread::*which);
    void NewClient();
    void Fail(const std::exception_ptr& error);

    THttpClient* FHttp = nullptr;                    // the worker's client of the moment
    std::chrono::steady_clock::time_point FFetchEnd; // the bound of the fetch under way
    std::optional<ocelis::TMireTicket> FTicket;      // the cell of the fetch under way
};

// A window's reference to its thread: stays safe to use after the thread is gone.
using TMireThreadRef = ocelis::TWorkerRef<TMireThread>;
