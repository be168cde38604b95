// TfoEditCams: the catalogue editor. It works on a copy of the catalogue held in the payloads
// of its tree nodes; the catalogue itself is rebuilt from the tree only by ApplyTree, which
// the opener calls after OK. It validates nothing.
#pragma once

#include "catalogue/CamTree.h"
#include "catalogue/CamUrlTestJob.h"
#include "gui/SForm.h"

#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTabWidget;
class TCamCategory;
struct TCamUrlTestResult;

class TfoEditCams : public TSForm {
    Q_OBJECT
public:
    // Payloads, one per node and owned by it. The mosaic has a cell class of the same name,
    // hence the class scope.
    struct TCatInfo {
        std::string Name;
    };
    struct TCamInfo {
        int32_t Refresh = 0;
        std::string Homepage;
        std::string Url;
        std::string Email;
        std::string Name;
        std::string Referer;
        int32_t LastId = 0;
    };

    explicit TfoEditCams(QWidget* parent = nullptr);
    ~TfoEditCams() override;

    // Fills CamList from the catalogue: on every level the sub-categories, then the webcams.
    void LoadTree(const TCamCategory& root);
    // When Modified: clears the root and rebuilds it from the tree in tree order.
    void ApplyTree(TCamCategory& root);

    // The payload of a node of that kind, else null.
    static TCatInfo* CatInfo(QTreeWidgetItem* node);
    static TCamInfo* CamInfo(QTreeWidgetItem* node);
    QTreeWidgetItem* SelectedNode() const;
    // The outcome of the Test button, in words, with the picture when there is one.
    void ShowTestResult(const TCamUrlTestResult& result);

    void CamListChange();
    bool CamListDragOver(const QPoint& pos);
    void CamListDragDrop(const QPoint& pos);
    void AddButtonClick();
    void AddCamButtonClick();
    void DeleteButtonClick();
    void CatNameChange();
    void CamNameChange();
    void TestButtonClick();
    void UseAddressButtonClick();
    // What a drop of the selected node on target does.
    void MoveBefore(QTreeWidgetItem* moved, QTreeWidgetItem* target);

    bool Modified = false;
    bool Updating = false;
    // The address test's time-outs (the viewer thread's; tests shorten them).
    ocelis::TFetchTiming TestTiming;
    bool TestBusy() const { return FTest.Exists(); }

    TCamTree* CamList = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* AddCamButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QTabWidget* Pages = nullptr;
    QWidget* CatSheet = nullptr;
    QWidget* CamSheet = nullptr;
    QWidget* NullSheet = nullptr;
    QLineEdit* CatName = nullptr;
    QLineEdit* CamName = nullptr;
    QLineEdit* CamUrl = nullptr;
    QLineEdit* CamReferer = nullptr;
    QLineEdit* CamHome = nullptr;
    QLineEdit* CamEmail = nullptr;
    QSpinBox* CamRefresh = nullptr;
    QPushButton* TestButton = nullptr;
    QLabel* TestResult = nullptr;
    QScrollArea* TestResultScroll = nullptr;
    QLabel* TestPreview = nullptr;
    QPushButton* UseAddressButton = nullptr;

protected:
    void FormCreate() override;
    void done(int result) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildLayout();
    QTreeWidgetItem* AddTarget() const;
    void AddNode(QTreeWidgetItem* node);
    void SelectNode(QTreeWidgetItem* node);
    void CancelTest();

    ocelis::TWorkerRef<TCamUrlTestJob> FTest;
    std::string FRedirect;
};
