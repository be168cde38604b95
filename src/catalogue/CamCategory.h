// The webcam catalogue: a tree of categories holding webcams, and its XML form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/XmlDocument.h"

class TCamWebcam {
public:
    int32_t Refresh = 0; // seconds; 0 always refresh, -1 brute refresh
    std::string Homepage;
    std::string Url;
    std::string Email;
    std::string Name;
    std::string Referer;
    int32_t LastId = 0;
    double LastUpdated = 0; // run-time only: never stored, never copied

    // Copies the seven stored fields (not LastUpdated).
    void Assign(const TCamWebcam& source);
    // Reads the stored fields from a "Cam" element.
    void LoadFromXml(const TOcSimpleXmlElem& elem);
    // A new "Cam" element; the caller owns it.
    std::unique_ptr<TOcSimpleXmlElem> SaveToXml() const;
    // Appends the bytes SaveToXml()->Write(out, indent) gives, without building the element.
    void WriteXml(std::string& out, std::string_view indent) const;
};

// Ordered, owning list of webcams.
class TCamWebcams {
public:
    TCamWebcams() = default;
    TCamWebcams(const TCamWebcams&) = delete;
    TCamWebcams& operator=(const TCamWebcams&) = delete;

    // A fresh webcam appended to the list (the list keeps it).
    TCamWebcam* Add();
    // Appends an existing record and takes it over.
    TCamWebcam* Add(std::unique_ptr<TCamWebcam> cam);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TCamWebcam* Items(int i) const { return FItems[static_cast<size_t>(i)].get(); }
    // Destroys one entry.
    void Delete(int i);
    // Hands one entry to the caller.
    std::unique_ptr<TCamWebcam> Extract(int i);
    int IndexOf(const TCamWebcam* cam) const;
    void Reserve(size_t n) { FItems.reserve(n); }

    // Appends a webcam per child named exactly "Cam"; a null container does nothing.
    void LoadFromXml(const TOcSimpleXmlElem* cams);
    // A new "Cams" element; the caller owns it.
    std::unique_ptr<TOcSimpleXmlElem> SaveToXml() const;

private:
    std::vector<std::unique_ptr<TCamWebcam>> FItems;
};

class TCamCategory;

// Ordered, owning list of categories.
class TCamCategories {
public:
    TCamCategories();
    TCamCategories(const TCamCategories&) = delete;
    TCamCategories& operator=(const TCamCategories&) = delete;
    ~TCamCategories();

    TCamCategory* Add();
    TCamCategory* Add(std::unique_ptr<TCamCategory> category);
    void Clear();
    int Count() const { return static_cast<int>(FItems.size()); }
    TCamCategory* Items(int i) const { return FItems[static_cast<size_t>(i)].get(); }
    void Delete(int i);
    std::unique_ptr<TCamCategory> Extract(int i);
    int IndexOf(const TCamCategory* category) const;

    // Appends a category per child named exactly "Category"; a null container does nothing.
    void LoadFromXml(const TOcSimpleXmlElem* categories);
    // A new "Categories" element; the caller owns it.
    std::unique_ptr<TOcSimpleXmlElem> SaveToXml() const;

private:
    std::vector<std::unique_ptr<TCamCategory>> FItems;
};

class TCamCategory {
public:
    TCamWebcams Cams;
    TCamCategories Categories;
    std::string Name;

    // Clears Cams, then Categories; Name stays.
    void Clear();
    // First direct sub-category whose Name equals name byte for byte; null when none.
    TCamCategory* FindCategory(const std::string& name) const;
    // Sets Name and appends what the "Category" element holds. Throws std::invalid_argument
    // for a null element, before anything changes.
    void LoadFromXml(const TOcSimpleXmlElem* elem);
    // The same, but the texts are moved out of the element's properties (they are left
    // empty) instead of copied: for a document that is discarded afterwards.
    void TakeFromXml(TOcSimpleXmlElem* elem);
    // A new "Category" element; the caller owns it.
    std::unique_ptr<TOcSimpleXmlElem> SaveToXml() const;
    // Appends the bytes SaveToXml()->Write(out, indent) gives, without building the elements:
    // saving a large catalogue then costs little more than the bytes themselves.
    void WriteXml(std::string& out, std::string_view indent) const;
    // About how many bytes WriteXml gives (texts counted unescaped).
    size_t WriteSizeHint(size_t indent) const;
};

// A "Category" element that, when its document is written, writes its category straight from
// the records (the bytes of SaveToXml()) instead of holding an element per webcam. It has no
// children or properties of its own: it serves only for saving, and must not outlive the
// category.
class TCamCategoryWriter final : public TOcSimpleXmlElemClassic {
public:
    explicit TCamCategoryWriter(const TCamCategory& category)
        : TOcSimpleXmlElemClassic("Category"), FCategory(category) {}
    void Write(std::string& out, std::string_view indent) const override {
        FCategory.WriteXml(out, indent);
    }
    size_t WriteSizeHint(size_t indent) const override { return FCategory.WriteSizeHint(indent); }

private:
    const TCamCategory& FCategory;
};
