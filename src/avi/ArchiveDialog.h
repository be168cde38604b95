// TfoArchive: picks a time-lapse out of a webcam's image archive: the folder, the webcam
// (when one folder holds several), a date range, a daily window and a thinning rule. It
// shows as the rule changes how many pictures match and their first and last time. The
// folder is listed on a worker; the rule is applied on the GUI thread (a pass over the
// listing, a few milliseconds for 100,000 pictures).
#pragma once

#include "avi/ArchiveLister.h"
#include "avi/ArchiveScan.h"
#include "gui/SForm.h"

#include <QStringList>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;
class QTimer;
class TOcDirectoryEdit;

class TfoArchive : public TSForm {
    Q_OBJECT
public:
    explicit TfoArchive(QWidget* parent = nullptr);
    // A listing still running is abandoned.
    ~TfoArchive() override;

    // Lists the folder at once (a typed folder is listed once the typing pauses).
    void SetFolder(const QString& folder);
    bool Listing() const { return FListing; }
    int WebcamCount() const;
    // The rule as the controls give it.
    ocelis::TArchiveRule Rule() const;
    size_t MatchCount() const { return FMatches.size(); }
    // Full paths of the matching pictures, in capture order.
    QStringList ChosenFiles() const;

    void OkButtonClick();

    // Components (objectName = the name here).
    QLabel* FolderLabel = nullptr;
    TOcDirectoryEdit* FolderEdit = nullptr;
    QLabel* WebcamLabel = nullptr;
    QComboBox* WebcamBox = nullptr;
    QCheckBox* FromBox = nullptr;
    QDateTimeEdit* FromEdit = nullptr;
    QCheckBox* ToBox = nullptr;
    QDateTimeEdit* ToEdit = nullptr;
    QCheckBox* DailyBox = nullptr;
    QTimeEdit* DayFromEdit = nullptr;
    QLabel* DayToLabel = nullptr;
    QTimeEdit* DayToEdit = nullptr;
    QRadioButton* AllRadio = nullptr;
    QRadioButton* EveryRadio = nullptr;
    QSpinBox* MinutesSpin = nullptr;
    QLabel* MinutesLabel = nullptr;
    QRadioButton* NearestRadio = nullptr;
    QTimeEdit* NearestEdit = nullptr;
    QLabel* MatchLabel = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    void StartListing();
    void Listed(const TArchiveListed& listed);
    void UpdateMatch();

    QTimer* FTypingPause = nullptr;
    ocelis::TWorkerRef<TArchiveLister> FLister;
    bool FListing = false;
    QString FListedFolder;
    std::shared_ptr<const ocelis::TArchiveListing> FListingResult;
    std::vector<size_t> FMatches;
};
