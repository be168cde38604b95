// TfoChoose: the categories of the catalogue as a tree, the webcams of the selected one as
// large icons whose pictures are fetched once each by up to four thumbnail threads sharing
// the window's schedule (never two requests to one server at once), with information tips;
// a double click opens a viewer. The tray controller keeps the one open chooser.
#pragma once

#include "gui/SForm.h"
#include "mosaic/MireThread.h"

#include <QImage>
#include <QPixmap>
#include <functional>
#include <vector>

class QListWidget;
class QListWidgetItem;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class TCamCategory;
class TCamWebcam;
class TOcStatusBar;

// The list's pictures, by webcam position: the thumbnail of webcam i is image i whatever
// the order in which the fetches end. An empty slot shows nothing.
class TCamImages : public QObject {
    Q_OBJECT
public:
    explicit TCamImages(QObject* parent = nullptr);
    int Width() const;
    int Height() const;
    void Clear() { FImages.clear(); }
    void Put(int index, const QPixmap& image);
    // Empty for a slot not filled yet.
    QPixmap Item(int index) const;
    int Count() const { return static_cast<int>(FImages.size()); }

private:
    std::vector<QPixmap> FImages;
};

class TfoChoose : public TSForm {
    Q_OBJECT
public:
    // Top-level (no parent): a taskbar entry of its own. Destroyed when closed.
    explicit TfoChoose(QWidget* parent = nullptr);
    ~TfoChoose() override;

    // Set by the tray controller: its OpenViewer, and what it does when the window closes.
    std::function<void(const TCamWebcam&)> OnOpenViewer;
    std::function<void()> OnFormClose;
    // Run on every thread right before it starts (tests shorten its time-outs here).
    std::function<void(TMireThread&)> ThreadSetup;

    void CamTreeChange(QTreeWidgetItem* node);
    void CamListDblClick();
    QString CamListInfoTip(const QListWidgetItem* item) const;
    // The thread hand-overs: fill in the inputs of the webcam at the thread's Index, and
    // take its picture.
    void ThreadNext(TMireThread& thread);
    void ThreadImage(TMireThread& thread);

    TCamCategory* Category() const { return FCategory; }
    TCamWebcam* ItemWebcam(const QListWidgetItem* item) const;
    QTreeWidgetItem* NodeOf(const TCamCategory* category) const;
    bool ThreadRunning() const;
    int32_t ImageCount() const { return FImageCount; }

    QTreeWidget* CamTree = nullptr;
    QSplitter* Splitter1 = nullptr;
    QListWidget* CamList = nullptr;
    TCamImages* CamImages = nullptr;
    TOcStatusBar* StatusBar = nullptr;

protected:
    void FormCreate() override;
    void closeEvent(QCloseEvent* event) override;
    // Esc closes the window like its close button.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormClose();
    void StopThread();
    void AddNodes(QTreeWidgetItem* parent, const TCamCategory& category);

    TCamCategory* FCategory = nullptr;
    std::vector<TMireThreadRef> FThreads;
    // One for the window's life: a fetch of a category left behind still keeps its server
    // from a second request.
    std::shared_ptr<ocelis::TMireQueue> FQueue = std::make_shared<ocelis::TMireQueue>();
    int32_t FImageCount = 0;
    int32_t FCategoryImages = 0; // of the current category
};

namespace ocelis {

// The built-in ERROR picture: a red circle with a diagonal bar on white, 120 by 90.
const QImage& ChooseErrorPicture();

// The 120 by 90 thumbnail: magenta, the picture stretched into ChooseThumbRect of its source
// size (sourceW by sourceH; the picture itself may be a reduced decode of it).
QImage DrawChooseThumbnail(const QImage& picture, int sourceW, int sourceH);
// The thumbnail with its magenta made transparent, as the list shows it.
QPixmap ChooseListIcon(const QImage& thumbnail);

// A date-time as the system writes it: short date, a space, long time (no time at midnight).
QString LastUpdatedText(double dateTime);

} // namespace ocelis
