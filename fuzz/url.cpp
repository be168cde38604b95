// Feeds arbitrary bytes to the address reader, as an address and as a Location header
// relative to a fixed one. Refusals are fine; crashes are not, nor a host with a separator
// or a blank in it, nor an address that reads differently once written back.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "net/Url.h"

namespace {

void Check(const ocelis::TUrl& url) {
    for (const char c : url.Host())
        if (c == '/' || c == '@' || static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            __builtin_trap();
    if (url.Target().empty() || url.Target().front() != '/')
        __builtin_trap();
    if (url.HostHeader().compare(0, url.Host().size(), url.Host()) != 0)
        __builtin_trap();
    const std::optional<ocelis::TUrl> again = ocelis::TUrl::Parse(url.ToString());
    if (!again || !(*again == url))
        __builtin_trap();
    (void)url.HostName();
    (void)url.EffectivePort();
    (void)url.User();
    (void)url.Password();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<ocelis::TUrl> url = ocelis::TUrl::Parse(text)) {
        Check(*url);
        // The input as a base for references of every kind.
        for (const char* reference : {"../x/./y?q", "//other.example", "?q", "/a/../b", ""})
            if (const std::optional<ocelis::TUrl> to = url->Resolve(reference))
                Check(*to);
    }
    static const std::optional<ocelis::TUrl> kBase =
        ocelis::TUrl::Parse("http://user:pw@cam.example:81/a/b/c.jpg?x=1");
    if (const std::optional<ocelis::TUrl> to = kBase->Resolve(text))
        Check(*to);
    return 0;
}
