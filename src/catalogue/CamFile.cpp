#include "catalogue/CamFile.h"

#include "util/Text.h"

namespace ocelis {

TCamWebcam* ImportCamFileInto(TCamCategory& root, const std::string& importedCat,
                              const std::string& path) {
    TCamCategory* category = root.FindCategory(importedCat);
    if (!category) {
        category = root.Categories.Add();
        category->Name = importedCat;
    }
    try {
        TOcSimpleXml doc;
        doc.SetFileLimit(kMaxCamFileSize);
        doc.LoadFromFile(path);
        const TOcSimpleXmlElem* top = doc.Root();
        if (!top)
            return nullptr;
        const TOcSimpleXmlElems& items = top->Items();
        const std::string url = items.Value("Url");
        if (url.empty())
            return nullptr;
        const std::string name = items.Value("Name");
        if (name.empty())
            return nullptr;
        TCamWebcam* cam = category->Cams.Add();
        cam->Url = url;
        cam->Referer = items.Value("Referer");
        cam->Name = name;
        cam->Refresh = LowInt32(items.IntValue("Refresh", 30));
        cam->Homepage = items.Value("Homepage");
        cam->Email = items.Value("Email");
        cam->LastId = 0;
        return cam;
    } catch (...) {
        // Unreadable or malformed files are not imported; nobody is told.
        return nullptr;
    }
}

} // namespace ocelis
