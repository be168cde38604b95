// Feeds arbitrary bytes to the XML reader, then writes and re-reads what it accepted and
// builds a catalogue from it. Parse errors are fine; crashes, hangs and leaks are not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/CamCategory.h"
#include "catalogue/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
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
    if (const TOcSimpleXmlElem* category = items.ItemNamed("Category")) {
        root.LoadFromXml(category);
        (void)root.SaveToXml();
    }
    const std::string saved = doc.SaveToString();
    TOcSimpleXml again;
    try {
        again.LoadFromString(saved);
        (void)again.SaveToString();
    } catch (const TOcSimpleXmlInvalid&) {
    }
    return 0;
}
