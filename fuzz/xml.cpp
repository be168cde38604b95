// Feeds arbitrary bytes to the XML reader, then writes and re-reads what it accepted and
// builds a catalogue from it. Parse errors are fine; crashes, hangs and leaks are not, nor
// any difference between the catalogue's two writers or its two readers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue/CamCategory.h"
#include "catalogue/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<TOcSimpleXmlElem> kept; // outlives its document
    TOcSimpleXml doc;
    try {
        doc.LoadFromString(bytes);
    } catch (const TOcSimpleXmlInvalid&) {
        return 0;
    }
    const TOcSimpleXmlElems& items = doc.Root()->Items();
    (void)items.BoolValue("AlwaysOnTop", true);
    (void)items.IntValue("Refresh", 30);
    TCamCategory root;
    TOcSimpleXmlElem* category = items.ItemNamed("Category");
    std::string direct;
    if (category) {
        root.LoadFromXml(category);
        std::string viaElements;
        root.SaveToXml()->Write(viaElements, " ");
        root.WriteXml(direct, " ");
        if (direct != viaElements)
            __builtin_trap();
    }
    const std::string saved = doc.SaveToString();
    if (category) {
        TCamCategory taken;
        taken.TakeFromXml(category);
        std::string takenText;
        taken.WriteXml(takenText, " ");
        if (takenText != direct)
            __builtin_trap();
    }
    if (items.Count() > 0)
        kept = doc.Root()->Items().Extract(items.Count() - 1);
    TOcSimpleXml again;
    try {
        again.LoadFromString(saved);
        (void)again.SaveToString();
    } catch (const TOcSimpleXmlInvalid&) {
    }
    doc.Clear();
    std::string keptText;
    if (kept)
        kept->Write(keptText, "");
    return 0;
}
