#include "catalogue/CamCategory.h"

#include <stdexcept>
#include <type_traits>
#include <utility>

#include "util/Text.h"

namespace {

// Reading the stored form. With Take the texts are moved out of the elements, not copied.
template <bool Take> struct TStoredForm {
    using TElem = std::conditional_t<Take, TOcSimpleXmlElem, const TOcSimpleXmlElem>;
    using TProp = std::conditional_t<Take, TOcSimpleXmlProp, const TOcSimpleXmlProp>;

    static void Text(std::string& field, TProp& p) {
        if constexpr (Take)
            field = p.TakeValue();
        else
            field = p.Value();
    }

    // Exact-case child scan, as the stored form asks for. The const list never creates one.
    template <typename Fn>
    static void ForEachChildNamed(TElem& container, std::string_view name, Fn&& fn) {
        const TOcSimpleXmlElems& items = std::as_const(container).Items();
        for (int i = 0; i < items.Count(); ++i) {
            TElem* child = items.Items(i);
            if (child->Kind() == TOcSimpleXmlKind::Classic && child->Name() == name)
                fn(*child);
        }
    }

    static void Cam(TCamWebcam& cam, TElem& elem) {
        // One pass in list order gives the by-name lookup's result: the last match wins.
        cam.Name.clear();
        cam.Url.clear();
        cam.Homepage.clear();
        cam.Email.clear();
        cam.Referer.clear();
        int64_t refresh = 30;
        int64_t lastId = 0;
        auto& props = elem.Properties();
        for (int i = 0; i < props.Count(); ++i) {
            TProp& p = *props.Items(i);
            const std::string& n = p.Name();
            switch (n.size()) {
            case 3:
                if (ocelis::SameText(n, "Url"))
                    Text(cam.Url, p);
                break;
            case 4:
                if (ocelis::SameText(n, "Name"))
                    Text(cam.Name, p);
                break;
            case 5:
                if (ocelis::SameText(n, "Email"))
                    Text(cam.Email, p);
                break;
            case 6:
                if (ocelis::SameText(n, "LastId"))
                    lastId = p.IntValue();
                break;
            case 7:
                if (ocelis::SameText(n, "Refresh"))
                    refresh = p.IntValue();
                else if (ocelis::SameText(n, "Referer"))
                    Text(cam.Referer, p);
                break;
            case 8:
                if (ocelis::SameText(n, "Homepage"))
                    Text(cam.Homepage, p);
                break;
            default:
                break;
            }
        }
        cam.Refresh = ocelis::LowInt32(refresh);
        cam.LastId = ocelis::LowInt32(lastId);
    }

    static void Cams(TCamWebcams& cams, TElem* container) {
        if (!container)
            return;
        cams.Reserve(static_cast<size_t>(cams.Count() + std::as_const(*container).Items().Count()));
        ForEachChildNamed(*container, "Cam", [&cams](TElem& e) { Cam(*cams.Add(), e); });
    }

    static void Categories(TCamCategories& categories, TElem* container) {
        if (!container)
            return;
        ForEachChildNamed(*container, "Category",
                          [&categories](TElem& e) { Category(*categories.Add(), &e); });
    }

    static void Category(TCamCategory& category, TElem* elem) {
        if (!elem)
            throw std::invalid_argument("No \"Category\" element to read");
        if (TProp* name = elem->Properties().ItemNamed("Name"))
            Text(category.Name, *name);
        else
            category.Name.clear();
        const TOcSimpleXmlElems& items = std::as_const(*elem).Items();
        Categories(category.Categories, items.ItemNamed("Categories"));
        Cams(category.Cams, items.ItemNamed("Cams"));
    }
};

} // namespace

// ---- webcam ----------------------------------------------------------------

void TCamWebcam::Assign(const TCamWebcam& source) {
    Name = source.Name;
    Url = source.Url;
    Refresh = source.Refresh;
    Homepage = source.Homepage;
    Email = source.Email;
    Referer = source.Referer;
    LastId = source.LastId;
}

void TCamWebcam::LoadFromXml(const TOcSimpleXmlElem& elem) {
    TStoredForm<false>::Cam(*this, elem);
}

std::unique_ptr<TOcSimpleXmlElem> TCamWebcam::SaveToXml() const {
    auto elem = std::make_unique<TOcSimpleXmlElemClassic>("Cam");
    TOcSimpleXmlProps& props = elem->Properties();
    props.Reserve(7);
    props.Add("Name", Name);
    props.Add("Url", Url);
    props.Add("Refresh", Refresh);
    if (!Homepage.empty())
        props.Add("Homepage", Homepage);
    if (!Email.empty())
        props.Add("Email", Email);
    if (!Referer.empty())
        props.Add("Referer", Referer);
    if (LastId != 0)
        props.Add("LastId", LastId);
    return elem;
}

namespace {

void PutCam(ocelis::TXmlOut& w, const TCamWebcam& cam, std::string_view indent) {
    w.Put(indent);
    w.Put("<Cam");
    w.PutProp("Name", cam.Name);
    w.PutProp("Url", cam.Url);
    w.Put(" Refresh=\"");
    w.PutInt(cam.Refresh);
    w.Put('"');
    if (!cam.Homepage.empty())
        w.PutProp("Homepage", cam.Homepage);
    if (!cam.Email.empty())
        w.PutProp("Email", cam.Email);
    if (!cam.Referer.empty())
        w.PutProp("Referer", cam.Referer);
    if (cam.LastId != 0) {
        w.Put(" LastId=\"");
        w.PutInt(cam.LastId);
        w.Put('"');
    }
    w.Put("/>");
    w.PutCrLf();
}

size_t DecimalLength(int32_t value) {
    uint32_t magnitude =
        value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    size_t length = value < 0 ? 2 : 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++length;
    }
    return length;
}

// indent gains a space per level and is restored on the way back.
void PutCategory(ocelis::TXmlOut& w, const TCamCategory& category, std::string& indent) {
    w.Put(indent);
    w.Put("<Category");
    w.PutProp("Name", category.Name);
    w.Put('>');
    w.PutCrLf();
    indent.push_back(' ');
    // An empty list is written in the short form.
    auto list = [&](std::string_view tag, int count, auto&& putItem) {
        w.Put(indent);
        w.Put('<');
        w.Put(tag);
        if (count == 0) {
            w.Put("/>");
            w.PutCrLf();
            return;
        }
        w.Put('>');
        w.PutCrLf();
        indent.push_back(' ');
        for (int i = 0; i < count; ++i)
            putItem(i);
        indent.pop_back();
        w.Put(indent);
        w.Put("</");
        w.Put(tag);
        w.Put('>');
        w.PutCrLf();
    };
    list("Categories", category.Categories.Count(),
         [&](int i) { PutCategory(w, *category.Categories.Items(i), indent); });
    list("Cams", category.Cams.Count(), [&](int i) { PutCam(w, *category.Cams.Items(i), indent); });
    indent.pop_back();
    w.Put(indent);
    w.Put("</Category>");
    w.PutCrLf();
}

} // namespace

void TCamWebcam::WriteXml(std::string& out, std::string_view indent) const {
    ocelis::TXmlOut w(out);
    PutCam(w, *this, indent);
}

// ---- webcam list -----------------------------------------------------------

TCamWebcam* TCamWebcams::Add() {
    return Add(std::make_unique<TCamWebcam>());
}

TCamWebcam* TCamWebcams::Add(std::unique_ptr<TCamWebcam> cam) {
    FItems.push_back(std::move(cam));
    return FItems.back().get();
}

void TCamWebcams::Delete(int i) {
    FItems.erase(FItems.begin() + i);
}

std::unique_ptr<TCamWebcam> TCamWebcams::Extract(int i) {
    std::unique_ptr<TCamWebcam> cam = std::move(FItems[static_cast<size_t>(i)]);
    FItems.erase(FItems.begin() + i);
    return cam;
}

int TCamWebcams::IndexOf(const TCamWebcam* cam) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == cam)
            return static_cast<int>(i);
    return -1;
}

void TCamWebcams::LoadFromXml(const TOcSimpleXmlElem* cams) {
    TStoredForm<false>::Cams(*this, cams);
}

std::unique_ptr<TOcSimpleXmlElem> TCamWebcams::SaveToXml() const {
    auto elem = std::make_unique<TOcSimpleXmlElemClassic>("Cams");
    if (!FItems.empty()) {
        TOcSimpleXmlElems& items = elem->Items();
        items.Reserve(FItems.size());
        for (const auto& cam : FItems)
            items.Add(cam->SaveToXml());
    }
    return elem;
}

// ---- category list ---------------------------------------------------------

TCamCategories::TCamCategories() = default;
TCamCategories::~TCamCategories() = default;

TCamCategory* TCamCategories::Add() {
    return Add(std::make_unique<TCamCategory>());
}

TCamCategory* TCamCategories::Add(std::unique_ptr<TCamCategory> category) {
    FItems.push_back(std::move(category));
    return FItems.back().get();
}

void TCamCategories::Clear() {
    FItems.clear();
}

void TCamCategories::Delete(int i) {
    FItems.erase(FItems.begin() + i);
}

std::unique_ptr<TCamCategory> TCamCategories::Extract(int i) {
    std::unique_ptr<TCamCategory> category = std::move(FItems[static_cast<size_t>(i)]);
    FItems.erase(FItems.begin() + i);
    return category;
}

int TCamCategories::IndexOf(const TCamCategory* category) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == category)
            return static_cast<int>(i);
    return -1;
}

void TCamCategories::LoadFromXml(const TOcSimpleXmlElem* categories) {
    TStoredForm<false>::Categories(*this, categories);
}

std::unique_ptr<TOcSimpleXmlElem> TCamCategories::SaveToXml() const {
    auto elem = std::make_unique<TOcSimpleXmlElemClassic>("Categories");
    if (!FItems.empty()) {
        TOcSimpleXmlElems& items = elem->Items();
        items.Reserve(FItems.size());
        for (const auto& category : FItems)
            items.Add(category->SaveToXml());
    }
    return elem;
}

// ---- category --------------------------------------------------------------

void TCamCategory::Clear() {
    Cams.Clear();
    Categories.Clear();
}

TCamCategory* TCamCategory::FindCategory(const std::string& name) const {
    for (int i = 0; i < Categories.Count(); ++i)
        if (Categories.Items(i)->Name == name)
            return Categories.Items(i);
    return nullptr;
}

void TCamCategory::LoadFromXml(const TOcSimpleXmlElem* elem) {
    TStoredForm<false>::Category(*this, elem);
}

void TCamCategory::TakeFromXml(TOcSimpleXmlElem* elem) {
    TStoredForm<true>::Category(*this, elem);
}

std::unique_ptr<TOcSimpleXmlElem> TCamCategory::SaveToXml() const {
    auto elem = std::make_unique<TOcSimpleXmlElemClassic>("Category");
    elem->Properties().Add("Name", Name);
    TOcSimpleXmlElems& items = elem->Items();
    items.Add(Categories.SaveToXml());
    items.Add(Cams.SaveToXml());
    return elem;
}

void TCamCategory::WriteXml(std::string& out, std::string_view indent) const {
    ocelis::TXmlOut w(out);
    std::string deeper(indent);
    PutCategory(w, *this, deeper);
}

size_t TCamCategory::WriteSizeHint(size_t indent) const {
    // The category's own tags and its two lists' tags, with their indentation and line ends.
    size_t size = 7 * (indent + 1) + 80 + Name.size();
    for (int i = 0; i < Categories.Count(); ++i)
        size += Categories.Items(i)->WriteSizeHint(indent + 2);
    for (int i = 0; i < Cams.Count(); ++i) {
        const TCamWebcam& cam = *Cams.Items(i);
        // "<Cam", ' Name=""', ' Url=""', ' Refresh=""', "/>" CR LF
        size += indent + 2 + 34 + DecimalLength(cam.Refresh) + cam.Name.size() + cam.Url.size();
        if (!cam.Homepage.empty())
            size += 12 + cam.Homepage.size();
        if (!cam.Email.empty())
            size += 9 + cam.Email.size();
        if (!cam.Referer.empty())
            size += 11 + cam.Referer.size();
        if (cam.LastId != 0)
            size += 10 + DecimalLength(cam.LastId);
    }
    return size;
}
