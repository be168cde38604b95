#include "catalogue/XmlDocument.h"
#include "catalogue/XmlEncoding.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"
#include "util/Text.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsFoldable(char c) {
    return c == ' ' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr auto kPropNameChars = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[static_cast<size_t>(c)] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                    (c >= '0' && c <= '9') || c == '-' || c == '_';
    return t;
}();

bool IsPropNameChar(char c) {
    return kPropNameChars[static_cast<unsigned char>(c)];
}

int64_t ReadInt(const std::string& s) {
    return ocelis::TryStrToInt64(s).value_or(-1);
}

bool ReadBool(const std::string& s) {
    if (auto n = ocelis::TryStrToInt64(s))
        return *n != 0;
    if (ocelis::SameText(s, "True"))
        return true;
    return false; // "False" and every other text
}

std::string_view CharText(const char* c) {
    return std::string_view(c, 1);
}

} // namespace

namespace ocelis {

namespace {

// Index into kRefText for the five special bytes, 0 for a byte written as it is.
constexpr auto kEscapeIndex = [] {
    std::array<unsigned char, 256> t{};
    t['"'] = 1;
    t['&'] = 2;
    t['\''] = 3;
    t['<'] = 4;
    t['>'] = 5;
    return t;
}();
constexpr char kRefText[6][6] = {"", "&#34;", "&#38;", "&#39;", "&#60;", "&#62;"};
constexpr size_t kRefLength = 5;

// Whether any byte of the word is one of the five special characters.
constexpr bool HasSpecialByte(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = 0x8080808080808080u;
    // Exact as a yes/no answer: some byte of v is zero.
    auto hasZero = [](uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    return hasZero(word ^ (kOnes * '"')) || hasZero(word ^ (kOnes * '&')) ||
           hasZero(word ^ (kOnes * '\'')) || hasZero(word ^ (kOnes * '<')) ||
           hasZero(word ^ (kOnes * '>'));
}

} // namespace

void XmlEscapeTo(std::string& out, std::string_view text) {
    TXmlOut w(out);
    w.PutEscaped(text);
}

void TXmlOut::Grow(size_t n) {
    // resize writes zeros: within the capacity the size moves in steps small enough to stay
    // in the cache until they are overwritten; beyond it the string doubles as usual.
    constexpr size_t kStep = 64 * 1024;
    const size_t want = FLen + n;
    const size_t capacity = FOut.capacity();
    size_t size = FLen + std::max(n, kStep);
    if (size > capacity)
        size = want <= capacity ? capacity : std::max(want, 2 * capacity);
    FOut.resize(size);
    FBuf = FOut.data();
    FCap = FOut.size();
}

void TXmlOut::PutEscaped(std::string_view text) {
    Need(text.size() * kRefLength);
    const char* p = text.data();
    const char* const end = p + text.size();
    char* d = FBuf + FLen;
    while (p != end) {
        // Eight bytes at a time while none of them is special (the usual case).
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (HasSpecialByte(word))
                break;
            std::memcpy(d, p, 8);
            p += 8;
            d += 8;
        }
        if (p == end)
            break;
        const unsigned char k = kEscapeIndex[static_cast<unsigned char>(*p)];
        if (k == 0) {
            *d++ = *p;
        } else {
            std::memcpy(d, kRefText[k], kRefLength);
            d += kRefLength;
        }
        ++p;
    }
    FLen = static_cast<size_t>(d - FBuf);
}

void TXmlOut::PutInt(int64_t value) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    Put(std::string_view(digits, static_cast<size_t>(r.ptr - digits)));
}

std::string XmlDecode(std::string_view s, bool fold) {
    std::string out;
    out.reserve(s.size());
    // Folding looks at the last byte produced, decoded or not.
    auto put = [&out, fold](char c) {
        if (fold && IsFoldable(c) && !out.empty() && IsFoldable(out.back()))
            return;
        out.push_back(c);
    };
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        const char c = s[i];
        if (c != '&') {
            put(c);
            ++i;
            continue;
        }
        const size_t j = i + 1;
        if (j < n && s[j] == '#') {
            size_t k = j + 1;
            while (k < n && IsDigit(s[k]))
                ++k;
            if (k > j + 1 && k < n && s[k] == ';') {
                // Long digit runs are simply "another number": no overflow, no byte.
                uint64_t number = 0;
                for (size_t d = j + 1; d < k && number <= 1000; ++d)
                    number = number * 10 + static_cast<uint64_t>(s[d] - '0');
                if (number <= 100 || number == 232 || number == 233)
                    put(static_cast<char>(static_cast<unsigned char>(number)));
                i = k + 1;
                continue;
            }
        } else {
            size_t k = j;
            while (k < n && IsLetter(s[k]))
                ++k;
            if (k > j && k < n && s[k] == ';') {
                const std::string_view name = s.substr(j, k - j);
                if (SameText(name, "lt"))
                    put('<');
                else if (SameText(name, "gt"))
                    put('>');
                else
                    out.append(s.substr(i, k + 1 - i));
                i = k + 1;
                continue;
            }
        }
        put('&'); // not a complete reference: kept, and what follows is read as text
        ++i;
    }
    return out;
}

} // namespace ocelis

// ---- element memory ---------------------------------------------------------

namespace ocelis {

// Bump allocation for the elements of one loaded document, released as a whole when the
// document and every element read into it are gone.
class TXmlArena {
public:
    void* Allocate(size_t size) {
        size = (size + 15) & ~size_t{15};
        if (FLeft < size) {
            const size_t block = std::max(size, kBlockSize);
            // Zeroed on purpose: measured faster than leaving fresh heap pages to be touched
            // piecemeal by the elements.
            FBlocks.push_back(std::make_unique<std::byte[]>(block));
            FNext = FBlocks.back().get();
            FLeft = block;
        }
        void* p = FNext;
        FNext += size;
        FLeft -= size;
        return p;
    }
    void AddRef() { FRefs.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (FRefs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

private:
    // Below the usual threshold for mapped allocations, so blocks come from the heap.
    static constexpr size_t kBlockSize = 64 * 1024;
    std::vector<std::unique_ptr<std::byte[]>> FBlocks;
    std::byte* FNext = nullptr;
    size_t FLeft = 0;
    std::atomic<size_t> FRefs{1};
};

} // namespace ocelis

namespace {

// In front of every element: its block store, or null for the heap.
constexpr size_t kElemHeader = 16;
static_assert(kElemHeader >= sizeof(ocelis::TXmlArena*) &&
              kElemHeader % alignof(std::max_align_t) == 0);

ocelis::TXmlArena*& HeaderOf(void* p) {
    return *reinterpret_cast<ocelis::TXmlArena**>(static_cast<std::byte*>(p) - kElemHeader);
}

} // namespace

void* TOcSimpleXmlElem::operator new(std::size_t size) {
    void* block = ::operator new(size + kElemHeader);
    void* p = static_cast<std::byte*>(block) + kElemHeader;
    HeaderOf(p) = nullptr;
    return p;
}

void* TOcSimpleXmlElem::operator new(std::size_t size, ocelis::TXmlArena& arena) {
    void* p = static_cast<std::byte*>(arena.Allocate(size + kElemHeader)) + kElemHeader;
    HeaderOf(p) = &arena;
    arena.AddRef();
    return p;
}

void TOcSimpleXmlElem::operator delete(void* p) noexcept {
    if (!p)
        return;
    if (ocelis::TXmlArena* arena = HeaderOf(p))
        arena->Release();
    else
        ::operator delete(static_cast<std::byte*>(p) - kElemHeader);
}

void TOcSimpleXmlElem::operator delete(void* p, ocelis::TXmlArena& /*arena*/) noexcept {
    operator delete(p);
}

// ---- properties ------------------------------------------------------------

TOcSimpleXmlProp::TOcSimpleXmlProp(std::string name, std::string value, std::string nameSpace)
    : FName(std::move(name)), FValue(std::move(value)) {
    SetNameSpace(std::move(nameSpace));
}

TOcSimpleXmlProp::TOcSimpleXmlProp(const TOcSimpleXmlProp& other)
    : FName(other.FName), FValue(other.FValue),
      FNameSpace(other.FNameSpace ? std::make_unique<std::string>(*other.FNameSpace) : nullptr) {}

TOcSimpleXmlProp& TOcSimpleXmlProp::operator=(const TOcSimpleXmlProp& other) {
    if (this != &other) {
        FName = other.FName;
        FValue = other.FValue;
        FNameSpace = other.FNameSpace ? std::make_unique<std::string>(*other.FNameSpace) : nullptr;
    }
    return *this;
}

const std::string& TOcSimpleXmlProp::NameSpace() const {
    static const std::string kNone;
    return FNameSpace ? *FNameSpace : kNone;
}

void TOcSimpleXmlProp::SetNameSpace(std::string nameSpace) {
    if (nameSpace.empty())
        FNameSpace.reset();
    else
        FNameSpace = std::make_unique<std::string>(std::move(nameSpace));
}

int64_t TOcSimpleXmlProp::IntValue() const {
    return ReadInt(FValue);
}

TOcSimpleXmlProps::TOcSimpleXmlProps(const TOcSimpleXmlProps& other) {
    *this = other;
}

TOcSimpleXmlProps& TOcSimpleXmlProps::operator=(const TOcSimpleXmlProps& other) {
    if (this != &other) {
        Clear();
        Reserve(other.FCount);
        for (uint32_t i = 0; i < other.FCount; ++i)
            new (FData + i) TOcSimpleXmlProp(other.FData[i]);
        FCount = other.FCount;
    }
    return *this;
}

void TOcSimpleXmlProps::Clear() {
    for (uint32_t i = 0; i < FCount; ++i)
        FData[i].~TOcSimpleXmlProp();
    FCount = 0;
}

void TOcSimpleXmlProps::Release() {
    Clear();
    if (!FBorrowed)
        ::operator delete(FData);
    FData = nullptr;
    FCapacity = 0;
    FBorrowed = false;
}

void TOcSimpleXmlProps::Reserve(size_t n) {
    if (n <= FCapacity)
        return;
    if (n > UINT32_MAX)
        throw std::length_error("Too many properties");
    auto* data = static_cast<TOcSimpleXmlProp*>(::operator new(n * sizeof(TOcSimpleXmlProp)));
    for (uint32_t i = 0; i < FCount; ++i) {
        new (data + i) TOcSimpleXmlProp(std::move(FData[i]));
        FData[i].~TOcSimpleXmlProp();
    }
    if (!FBorrowed)
        ::operator delete(FData);
    FData = data;
    FCapacity = static_cast<uint32_t>(n);
    FBorrowed = false;
}

TOcSimpleXmlProp* TOcSimpleXmlProps::ItemNamed(std::string_view name) {
    for (uint32_t i = FCount; i-- > 0;)
        if (ocelis::SameText(FData[i].Name(), name))
            return &FData[i];
    return nullptr;
}

const TOcSimpleXmlProp* TOcSimpleXmlProps::ItemNamed(std::string_view name) const {
    return const_cast<TOcSimpleXmlProps*>(this)->ItemNamed(name);
}

TOcSimpleXmlProp* TOcSimpleXmlProps::Add(std::string name, std::string value) {
    if (FCount == FCapacity)
        Reserve(std::max<size_t>(4, 2 * static_cast<size_t>(FCapacity)));
    TOcSimpleXmlProp* p = new (FData + FCount) TOcSimpleXmlProp(std::move(name), std::move(value));
    ++FCount;
    return p;
}

TOcSimpleXmlProp* TOcSimpleXmlProps::Add(std::string name, int64_t value) {
    return Add(std::move(name), std::to_string(value));
}

std::string TOcSimpleXmlProps::Value(std::string_view name, std::string_view def) const {
    const TOcSimpleXmlProp* p = ItemNamed(name);
    return p ? p->Value() : std::string(def);
}

int64_t TOcSimpleXmlProps::IntValue(std::string_view name, int64_t def) const {
    const TOcSimpleXmlProp* p = ItemNamed(name);
    return p ? p->IntValue() : def;
}

// ---- child lists -----------------------------------------------------------

TOcSimpleXmlElems::~TOcSimpleXmlElems() = default;

TOcSimpleXmlElem* TOcSimpleXmlElems::ItemNamed(std::string_view name) const {
    for (size_t i = FItems.size(); i-- > 0;)
        if (ocelis::SameText(FItems[i]->Name(), name))
            return FItems[i].get();
    return nullptr;
}

TOcSimpleXmlElem* TOcSimpleXmlElems::Add(std::unique_ptr<TOcSimpleXmlElem> elem) {
    elem->FParent = FOwner;
    FItems.push_back(std::move(elem));
    return FItems.back().get();
}

TOcSimpleXmlElem* TOcSimpleXmlElems::Add(std::string_view name, std::string_view text) {
    return Add(std::make_unique<TOcSimpleXmlElemClassic>(std::string(name), std::string(text)));
}

TOcSimpleXmlElem* TOcSimpleXmlElems::Add(std::string_view name, bool value) {
    return Add(name, std::string_view(value ? "-1" : "0"));
}

std::string TOcSimpleXmlElems::Value(std::string_view name, std::string_view def) const {
    const TOcSimpleXmlElem* e = ItemNamed(name);
    return e ? e->Value() : std::string(def);
}

int64_t TOcSimpleXmlElems::IntValue(std::string_view name, int64_t def) const {
    const TOcSimpleXmlElem* e = ItemNamed(name);
    return e ? e->IntValue() : def;
}

bool TOcSimpleXmlElems::BoolValue(std::string_view name, bool def) const {
    const TOcSimpleXmlElem* e = ItemNamed(name);
    if (!e || e->Value().empty())
        return def;
    return ReadBool(e->Value());
}

void TOcSimpleXmlElems::Clear() {
    FItems.clear();
}

void TOcSimpleXmlElems::Delete(int i) {
    FItems.erase(FItems.begin() + i);
}

std::unique_ptr<TOcSimpleXmlElem> TOcSimpleXmlElems::Extract(int i) {
    std::unique_ptr<TOcSimpleXmlElem> e = std::move(FItems[static_cast<size_t>(i)]);
    FItems.erase(FItems.begin() + i);
    e->FParent = nullptr;
    return e;
}

// ---- elements --------------------------------------------------------------

TOcSimpleXmlElem::TOcSimpleXmlElem(std::string name, std::string value)
    : FName(std::move(name)), FValue(std::move(value)) {}

TOcSimpleXmlElem::~TOcSimpleXmlElem() = default;

const std::string& TOcSimpleXmlElem::NameSpace() const {
    static const std::string kNone;
    return FNameSpace ? *FNameSpace : kNone;
}

void TOcSimpleXmlElem::SetNameSpace(std::string nameSpace) {
    if (nameSpace.empty())
        FNameSpace.reset();
    else
        FNameSpace = std::make_unique<std::string>(std::move(nameSpace));
}

void TOcSimpleXmlElem::SetName(std::string name) {
    if (!name.empty())
        FName = std::move(name);
}

TOcSimpleXmlElems& TOcSimpleXmlElem::Items() {
    if (!FItems)
        FItems = std::make_unique<TOcSimpleXmlElems>(this);
    return *FItems;
}

const TOcSimpleXmlElems& TOcSimpleXmlElem::Items() const {
    static const TOcSimpleXmlElems kEmpty;
    return FItems ? *FItems : kEmpty;
}

int64_t TOcSimpleXmlElem::IntValue() const {
    return ReadInt(FValue);
}

namespace {

void PutProperties(ocelis::TXmlOut& w, const TOcSimpleXmlProps& props) {
    for (int i = 0; i < props.Count(); ++i) {
        const TOcSimpleXmlProp* p = props.Items(i);
        w.Put(' ');
        if (!p->NameSpace().empty()) {
            w.Put(p->NameSpace());
            w.Put(':');
        }
        w.Put(p->Name());
        w.Put("=\"");
        w.PutEscaped(p->Value());
        w.Put('"');
    }
}

// indent gains a space per level and is restored on the way back.
void PutClassic(ocelis::TXmlOut& w, const TOcSimpleXmlElem& e, std::string& indent) {
    w.Put(indent);
    w.Put('<');
    w.Put(e.Name());
    PutProperties(w, e.Properties());
    if (e.HasItems()) {
        w.Put('>');
        w.PutCrLf();
        indent.push_back(' ');
        const TOcSimpleXmlElems& items = e.Items();
        for (int i = 0; i < items.Count(); ++i) {
            const TOcSimpleXmlElem& child = *items.Items(i);
            if (typeid(child) == typeid(TOcSimpleXmlElemClassic))
                PutClassic(w, child, indent);
            else // other kinds, and elements that write themselves
                w.Call([&child, &indent](std::string& out) { child.Write(out, indent); });
        }
        indent.pop_back();
        w.Put(indent);
        w.Put("</");
        w.Put(e.Name());
        w.Put('>');
    } else if (!e.Value().empty()) {
        w.Put('>');
        w.PutEscaped(e.Value());
        w.Put("</");
        w.Put(e.Name());
        w.Put('>');
    } else {
        w.Put("/>");
    }
    w.PutCrLf();
}

} // namespace

size_t TOcSimpleXmlElem::WriteSizeHint(size_t indent) const {
    size_t size = indent + FName.size() + FValue.size() + 16;
    for (int i = 0; i < FProps.Count(); ++i) {
        const TOcSimpleXmlProp* p = FProps.Items(i);
        size += p->NameSpace().size() + p->Name().size() + p->Value().size() + 5;
    }
    if (FItems) {
        size += indent + FName.size() + 5;
        for (int i = 0; i < FItems->Count(); ++i)
            size += FItems->Items(i)->WriteSizeHint(indent + 1);
    }
    return size;
}

void TOcSimpleXmlElem::WriteProperties(std::string& out) const {
    ocelis::TXmlOut w(out);
    PutProperties(w, FProps);
}

void TOcSimpleXmlElemClassic::Write(std::string& out, std::string_view indent) const {
    ocelis::TXmlOut w(out);
    std::string deeper(indent);
    PutClassic(w, *this, deeper);
}

void TOcSimpleXmlElemText::Write(std::string& out, std::string_view indent) const {
    if (Value().empty())
        return;
    out.append(indent);
    ocelis::XmlEscapeTo(out, Value());
    out.append(kCrLf);
}

void TOcSimpleXmlElemComment::Write(std::string& out, std::string_view indent) const {
    out.append(indent);
    out.append("<!--");
    out.append(Value());
    out.append("-->");
    out.append(kCrLf);
}

void TOcSimpleXmlElemCData::Write(std::string& out, std::string_view indent) const {
    out.append(indent);
    out.append("<![CDATA[");
    out.append(Value());
    out.append("]]>");
    out.append(kCrLf);
}

void TOcSimpleXmlElemHeader::Write(std::string& out, std::string_view /*indent*/) const {
    out.append("<?xml version=\"");
    out.append(Version);
    out.push_back('"');
    if (Standalone)
        out.append(" standalone=\"yes\"");
    if (!Encoding.empty()) {
        out.append(" encoding=\"");
        out.append(Encoding);
        out.push_back('"');
    }
    out.append("?>");
    out.append(kCrLf);
}

void TOcSimpleXmlElemDocType::Write(std::string& out, std::string_view /*indent*/) const {
    out.append("<!DOCTYPE ");
    out.append(Value());
    out.push_back('>');
    out.append(kCrLf);
}

void TOcSimpleXmlElemSheet::Write(std::string& out, std::string_view /*indent*/) const {
    out.append("<?xml-stylesheet");
    WriteProperties(out);
    out.append("?>");
    out.append(kCrLf);
}

// ---- reader ----------------------------------------------------------------

class TOcSimpleXmlParser {
public:
    TOcSimpleXmlParser(std::string_view data, TOcSimpleXml& target, ocelis::TXmlArena& store)
        : FData(data), FSize(data.size()), FDoc(target), FArena(store) {}

    void Run() {
        while (true) {
            while (FPos < FSize && IsBlank(FData[FPos]))
                ++FPos;
            if (FPos >= FSize)
                return; // empty, or only a prolog
            if (FData[FPos] != '<')
                Fail("Invalid Document: Unexpected text in file prolog.");
            const char second = FPos + 1 < FSize ? FData[FPos + 1] : '\0';
            if (second == '!') {
                if (FPos + 2 < FSize && FData[FPos + 2] == '-')
                    FDoc.Prolog().Add(ReadComment());
                else
                    FDoc.Prolog().Add(ReadDocType());
            } else if (second == '?') {
                ReadProcessingInstruction();
            } else {
                ReadElement(*FDoc.Root(), 1);
                return; // whatever follows the root is never looked at
            }
        }
    }

private:
    std::string_view FData;
    size_t FSize;
    size_t FPos = 0;
    TOcSimpleXml& FDoc;
    ocelis::TXmlArena& FArena;
    std::vector<TOcSimpleXmlProp> FScratch;
    size_t FNodes = 0;

    // Tiny hostile constructs ("<a/>", ' b=""') cost far more memory than their bytes.
    void CountNode() {
        if (++FNodes > FDoc.NodeLimit())
            Fail("Invalid Document: More than " + std::to_string(FDoc.NodeLimit()) +
                 " elements and properties.");
    }

    [[noreturn]] static void Fail(std::string message) { throw TOcSimpleXmlInvalid(message); }

    [[noreturn]] static void FailEndTag(const std::string& name, std::string_view found) {
        std::string m = "Invalid XML Element: Erroneous end of tag, expecting </";
        m += name;
        m += "> but </";
        m += found;
        m += "> found.";
        Fail(m);
    }

    // Checks that literal follows at pos, character by character.
    void Expect(std::string_view literal, std::string_view kind, std::string_view eofMessage) {
        for (char want : literal) {
            if (FPos >= FSize)
                Fail(std::string(eofMessage));
            if (FData[FPos] != want) {
                std::string m(kind);
                m += "Expected ";
                m.push_back(want);
                m += " Found ";
                m.push_back(FData[FPos]);
                Fail(m);
            }
            ++FPos;
        }
    }

    // Where the closing c c ">" of a comment (c = '-') or CDATA section (c = ']') starts.
    // The text is read in steps: a c before anything but c is one character of text, and a
    // pair c c before anything but ">" is two; so "--->" does not close a comment.
    size_t FindClose(char c) const {
        size_t i = FPos;
        while ((i = FData.find(c, i)) != std::string_view::npos) {
            if (i + 1 >= FSize || FData[i + 1] != c) {
                i += 1;
            } else if (i + 2 < FSize && FData[i + 2] == '>') {
                return i;
            } else {
                i += 2;
            }
        }
        return std::string_view::npos;
    }

    std::unique_ptr<TOcSimpleXmlElem> ReadComment() {
        Expect("<!--", "Invalid Comment: ", "Invalid Comment: Unexpected end of data");
        const size_t end = FindClose('-');
        if (end == std::string_view::npos)
            Fail("Invalid Comment: Unexpected end of data");
        CountNode();
        std::unique_ptr<TOcSimpleXmlElem> c(
            new (FArena) TOcSimpleXmlElemComment(std::string(FData.substr(FPos, end - FPos))));
        FPos = end + 3;
        return c;
    }

    std::unique_ptr<TOcSimpleXmlElem> ReadCData() {
        Expect("<![CDATA[", "Invalid CDATA: ", "Invalid CDATA: Unexpected end of data");
        const size_t end = FindClose(']');
        if (end == std::string_view::npos)
            Fail("Invalid CDATA: Unexpected end of data");
        CountNode();
        std::unique_ptr<TOcSimpleXmlElem> c(
            new (FArena) TOcSimpleXmlElemCData(std::string(FData.substr(FPos, end - FPos))));
        FPos = end + 3;
        return c;
    }

    std::unique_ptr<TOcSimpleXmlElem> ReadDocType() {
        Expect("<!DOCTYPE", "Invalid Header: ", "Invalid Comment: Unexpected end of data");
        const size_t start = FPos;
        bool inBracket = false;
        while (true) {
            if (FPos >= FSize)
                Fail("Invalid Comment: Unexpected end of data");
            const char c = FData[FPos];
            if (inBracket) {
                if (c == ']')
                    inBracket = false;
            } else if (c == '[') {
                inBracket = true;
            } else if (c == '>') {
                break;
            }
            ++FPos;
        }
        CountNode();
        auto d = std::make_unique<TOcSimpleXmlElemDocType>();
        d->SetValue(ocelis::Trim(FData.substr(start, FPos - start)));
        ++FPos;
        return d;
    }

    void ReadProcessingInstruction() {
        static constexpr std::string_view kEof = "Invalid Comment: Unexpected end of data";
        Expect("<?xml", "Invalid Header: ", kEof);
        CountNode();
        if (FPos >= FSize)
            Fail(std::string(kEof));
        if (FData[FPos] == '-') {
            Expect("-stylesheet", "Invalid Header: ", kEof);
            auto sheet = std::make_unique<TOcSimpleXmlElemSheet>();
            ReadProperties(sheet->Properties(), nullptr, false);
            Expect("?>", "Invalid Header: ", kEof);
            FDoc.Prolog().Add(std::move(sheet));
            return;
        }
        Expect(" ", "Invalid Header: ", kEof);
        auto header = std::make_unique<TOcSimpleXmlElemHeader>();
        TOcSimpleXmlProps& props = header->Properties();
        ReadProperties(props, nullptr, false);
        Expect("?>", "Invalid Header: ", kEof);
        if (const TOcSimpleXmlProp* p = props.ItemNamed("version"))
            header->Version = p->Value();
        if (const TOcSimpleXmlProp* p = props.ItemNamed("encoding"))
            header->Encoding = p->Value();
        if (const TOcSimpleXmlProp* p = props.ItemNamed("standalone"))
            header->Standalone = p->Value() == "yes";
        props.Clear();
        FDoc.Prolog().Add(std::move(header));
    }

    // Running out of data inside a tag reads as a missing end tag (owner != null) or as the
    // end of a declaration.
    [[noreturn]] void FailEof(const TOcSimpleXmlElem* owner) {
        if (owner)
            FailEndTag(owner->Name(), {});
        Fail("Invalid Comment: Unexpected end of data");
    }

    // Collected in a reused scratch list first, so each element's list is allocated once;
    // for an element in the block store, the list goes there too.
    void ReadProperties(TOcSimpleXmlProps& props, const TOcSimpleXmlElem* owner, bool inArena) {
        FScratch.clear();
        ReadPropertiesInto(owner);
        if (FScratch.empty())
            return;
        if (inArena && props.FCapacity == 0) {
            props.FData = static_cast<TOcSimpleXmlProp*>(
                FArena.Allocate(FScratch.size() * sizeof(TOcSimpleXmlProp)));
            props.FCapacity = static_cast<uint32_t>(FScratch.size());
            props.FBorrowed = true;
        } else {
            props.Reserve(props.FCount + FScratch.size());
        }
        for (TOcSimpleXmlProp& p : FScratch)
            new (props.FData + props.FCount++) TOcSimpleXmlProp(std::move(p));
    }

    void ReadPropertiesInto(const TOcSimpleXmlElem* owner) {
        while (true) {
            while (FPos < FSize && IsBlank(FData[FPos]))
                ++FPos;
            if (FPos >= FSize)
                FailEof(owner);
            char c = FData[FPos];
            if (c == '/' || c == '>' || c == '?')
                return;
            CountNode();
            size_t start = FPos;
            std::string nameSpace;
            while (true) {
                while (FPos < FSize && IsPropNameChar(FData[FPos]))
                    ++FPos;
                if (FPos >= FSize)
                    FailEof(owner);
                c = FData[FPos];
                if (c == ':') {
                    nameSpace = std::string(FData.substr(start, FPos - start));
                    start = ++FPos;
                } else if (c == '=') {
                    break;
                } else {
                    std::string m =
                        "Invalid XML Element: Unexpected character in properties declaration (";
                    m += CharText(&FData[FPos]);
                    m += " found).";
                    Fail(m);
                }
            }
            const std::string_view name = FData.substr(start, FPos - start);
            ++FPos; // '='
            if (FPos >= FSize)
                FailEof(owner);
            const char quote = FData[FPos];
            if (quote != '"' && quote != '\'') {
                std::string m = "Invalid XML Element: Unexpected character in property "
                                "declaration. Expecting \" or ' but ";
                m += CharText(&FData[FPos]);
                m += " found.";
                Fail(m);
            }
            ++FPos;
            const size_t end = FData.find(quote, FPos);
            if (end == std::string_view::npos) {
                FPos = FSize;
                FailEof(owner);
            }
            const std::string_view raw = FData.substr(FPos, end - FPos);
            FScratch.emplace_back(std::string(name),
                                  raw.find('&') == std::string_view::npos
                                      ? std::string(raw)
                                      : ocelis::XmlDecode(raw, false),
                                  std::move(nameSpace));
            FPos = end + 1;
        }
    }

    void ReadElement(TOcSimpleXmlElem& elem, int depth) {
        if (depth > TOcSimpleXml::kMaxDepth)
            Fail("Invalid XML Element: Nesting deeper than " +
                 std::to_string(TOcSimpleXml::kMaxDepth) + " levels.");
        if (FPos >= FSize)
            FailEndTag(elem.Name(), {});
        if (FData[FPos] != '<') {
            std::string m = "Invalid XML Element: Expected beginning of tag but ";
            m += CharText(&FData[FPos]);
            m += " found.";
            Fail(m);
        }
        ++FPos;
        if (FPos < FSize && IsBlank(FData[FPos]))
            Fail("Invalid XML Element: Malformed tag found (no valid name)");
        size_t start = FPos;
        while (true) {
            if (FPos >= FSize) {
                elem.FName = std::string(FData.substr(start, FPos - start));
                FailEndTag(elem.Name(), {});
            }
            const char c = FData[FPos];
            if (c == ':') {
                elem.SetNameSpace(std::string(FData.substr(start, FPos - start)));
                start = ++FPos;
                continue;
            }
            if (IsBlank(c) || c == '/' || c == '>')
                break;
            ++FPos;
        }
        elem.FName = std::string(FData.substr(start, FPos - start));
        if (IsBlank(FData[FPos]))
            ReadProperties(elem.FProps, &elem, &elem != FDoc.Root());
        if (FPos >= FSize)
            FailEndTag(elem.Name(), {});
        if (FData[FPos] == '/') {
            ++FPos;
            if (FPos >= FSize)
                FailEndTag(elem.Name(), {});
            if (FData[FPos] != '>') {
                std::string m = "Invalid XML Element: Expected end of tag but ";
                m += CharText(&FData[FPos]);
                m += " found.";
                Fail(m);
            }
            ++FPos;
            return;
        }
        if (FData[FPos] == '?') {
            // Only a declaration may end its properties with '?'.
            std::string m = "Invalid XML Element: Expected end of tag but ";
            m += CharText(&FData[FPos]);
            m += " found.";
            Fail(m);
        }
        ++FPos; // '>'
        ReadContent(elem, depth);
    }

    void ReadContent(TOcSimpleXmlElem& elem, int depth) {
        while (true) {
            while (FPos < FSize && IsBlank(FData[FPos]))
                ++FPos;
            if (FPos >= FSize)
                FailEndTag(elem.Name(), {});
            if (FData[FPos] != '<') {
                CountNode();
                size_t end = FData.find('<', FPos);
                if (end == std::string_view::npos)
                    end = FSize;
                elem.Items().Add(std::unique_ptr<TOcSimpleXmlElem>(
                    new (FArena) TOcSimpleXmlElemText(ReadText(FData.substr(FPos, end - FPos)))));
                FPos = end;
                continue;
            }
            const char second = FPos + 1 < FSize ? FData[FPos + 1] : '\0';
            if (second == '/') {
                FPos += 2;
                const size_t end = FData.find('>', FPos);
                if (end == std::string_view::npos) {
                    FPos = FSize;
                    FailEndTag(elem.Name(), {});
                }
                std::string_view endName = FData.substr(FPos, end - FPos);
                if (endName != elem.Name())
                    FailEndTag(elem.Name(), endName);
                FPos = end + 1;
                break;
            }
            if (second == '!' && FPos + 2 < FSize && FData[FPos + 2] == '-') {
                elem.Items().Add(ReadComment());
            } else if (second == '!' && FPos + 2 < FSize && FData[FPos + 2] == '[') {
                elem.Items().Add(ReadCData());
            } else {
                CountNode();
                std::unique_ptr<TOcSimpleXmlElem> child(new (FArena) TOcSimpleXmlElemClassic());
                TOcSimpleXmlElem& ref = *child;
                elem.Items().Add(std::move(child));
                ReadElement(ref, depth + 1);
            }
        }
        // A lone text child becomes the element's value.
        if (elem.FItems && elem.FItems->Count() == 1 &&
            elem.FItems->Items(0)->Kind() == TOcSimpleXmlKind::Text) {
            const std::string& text = elem.FItems->Items(0)->Value();
            if (text.find('&') == std::string::npos)
                elem.FValue =
                    text; // already folded and free of references: a second pass changes nothing
            else
                elem.FValue = ocelis::XmlDecode(text, true);
            elem.FItems->Clear();
        }
    }

    // Space runs shrink to one space by the folding itself.
    static std::string ReadText(std::string_view raw) { return ocelis::XmlDecode(raw, true); }
};

// ---- document --------------------------------------------------------------

TOcSimpleXml::TOcSimpleXml()
    : FProlog(nullptr), FRoot(std::make_unique<TOcSimpleXmlElemClassic>()) {}

// The elements hold the store until the last of them goes.
TOcSimpleXml::~TOcSimpleXml() {
    ReleaseArena();
}

void TOcSimpleXml::ReleaseArena() {
    if (FArena)
        FArena->Release();
    FArena = nullptr;
}

void TOcSimpleXml::Clear() {
    FProlog.Clear();
    FRoot = std::make_unique<TOcSimpleXmlElemClassic>();
    ReleaseArena();
}

void TOcSimpleXml::LoadFromString(std::string_view bytes) {
    Clear();
    FArena = new ocelis::TXmlArena();
    TOcSimpleXmlParser(bytes, *this, *FArena).Run();
}

void TOcSimpleXml::LoadFromFile(const std::string& path) {
    // Read before clearing: a file that cannot be read leaves the document as it was.
    LoadFromString(ocelis::XmlFileTextToUtf8(ocelis::ReadRegularFile(path, FFileLimit)));
    // The text is UTF-8 now, whatever the file declared; a later save must say so.
    for (int i = 0; i < FProlog.Count(); ++i)
        if (auto* header = dynamic_cast<TOcSimpleXmlElemHeader*>(FProlog.Items(i)))
            header->Encoding = kWrittenEncoding;
}

std::string TOcSimpleXml::SaveToString() {
    if (FProlog.Count() == 0) {
        auto header = std::make_unique<TOcSimpleXmlElemHeader>();
        header->Encoding = kWrittenEncoding;
        FProlog.Add(std::move(header));
    }
    size_t hint = FRoot->WriteSizeHint(0);
    for (int i = 0; i < FProlog.Count(); ++i)
        hint += FProlog.Items(i)->WriteSizeHint(0);
    std::string out;
    // A little room for escapes; one allocation instead of a doubling series for large files.
    out.reserve(hint + hint / 8);
    for (int i = 0; i < FProlog.Count(); ++i)
        FProlog.Items(i)->Write(out, {});
    FRoot->Write(out, {});
    return out;
}

void TOcSimpleXml::SaveToFile(const std::string& path, ocelis::TFileAccess access) {
    ocelis::WriteFileAtomic(path, SaveToString(), access);
}
