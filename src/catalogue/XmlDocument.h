// The small XML document model behind Options.xml, .cam files and language files.
// Text is UTF-8 bytes (std::string); files are converted to it once, as they are read.
#pragma once

#include "platform/AtomicFile.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Every parse error.
class TOcSimpleXmlInvalid : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TOcSimpleXmlElem;

namespace ocelis {
class TXmlArena;
}

enum class TOcSimpleXmlKind { Classic, Text, Comment, CData, Header, DocType, Sheet };

class TOcSimpleXmlProp {
public:
    TOcSimpleXmlProp() = default;
    TOcSimpleXmlProp(std::string name, std::string value, std::string nameSpace = {});
    TOcSimpleXmlProp(const TOcSimpleXmlProp& other);
    TOcSimpleXmlProp& operator=(const TOcSimpleXmlProp& other);
    TOcSimpleXmlProp(TOcSimpleXmlProp&&) noexcept = default;
    TOcSimpleXmlProp& operator=(TOcSimpleXmlProp&&) noexcept = default;

    const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }
    const std::string& Value() const { return FValue; }
    void SetValue(std::string value) { FValue = std::move(value); }
    // Hands the value over and leaves it empty (for readers of a document about to go).
    std::string TakeValue() {
        std::string value = std::move(FValue);
        FValue.clear();
        return value;
    }
    const std::string& NameSpace() const;
    void SetNameSpace(std::string nameSpace);
    // Value as a 64-bit decimal integer; -1 when it is not one (also when empty).
    int64_t IntValue() const;

private:
    std::string FName;
    std::string FValue;
    // Prefixes are rare; keeping them out of line makes large catalogues smaller.
    std::unique_ptr<std::string> FNameSpace;
};

// Ordered property list. Lookups by name ignore ASCII case and find the last match.
class TOcSimpleXmlProps {
public:
    TOcSimpleXmlProps() = default;
    // Copies live on the heap, whatever the original's storage.
    TOcSimpleXmlProps(const TOcSimpleXmlProps& other);
    TOcSimpleXmlProps& operator=(const TOcSimpleXmlProps& other);
    ~TOcSimpleXmlProps() { Release(); }

    int Count() const { return static_cast<int>(FCount); }
    TOcSimpleXmlProp* Items(int i) { return &FData[i]; }
    const TOcSimpleXmlProp* Items(int i) const { return &FData[i]; }
    TOcSimpleXmlProp* ItemNamed(std::string_view name);
    const TOcSimpleXmlProp* ItemNamed(std::string_view name) const;

    // Appends; an existing property of the same name stays (lookup then finds the new one).
    // The returned pointer is valid until the next Add or Clear.
    TOcSimpleXmlProp* Add(std::string name, std::string value);
    TOcSimpleXmlProp* Add(std::string name, const char* value) {
        return Add(std::move(name), std::string(value));
    }
    TOcSimpleXmlProp* Add(std::string name, int64_t value);
    TOcSimpleXmlProp* Add(std::string name, int32_t value) {
        return Add(std::move(name), static_cast<int64_t>(value));
    }

    std::string Value(std::string_view name, std::string_view def = {}) const;
    int64_t IntValue(std::string_view name, int64_t def) const;
    void Clear();

    void Reserve(size_t n);

private:
    friend class TOcSimpleXmlParser;
    void Release();

    TOcSimpleXmlProp* FData = nullptr;
    uint32_t FCount = 0;
    uint32_t FCapacity = 0;
    // The entries sit in the block store of the document that read them (its element keeps
    // the store alive); they move to the heap when the list grows.
    bool FBorrowed = false;
};

// Ordered, owning child list. Lookups by name ignore ASCII case and find the last match.
class TOcSimpleXmlElems {
public:
    // owner becomes the Parent of every element added; null for the document prolog.
    explicit TOcSimpleXmlElems(TOcSimpleXmlElem* owner = nullptr) : FOwner(owner) {}
    TOcSimpleXmlElems(const TOcSimpleXmlElems&) = delete;
    TOcSimpleXmlElems& operator=(const TOcSimpleXmlElems&) = delete;
    ~TOcSimpleXmlElems();

    int Count() const { return static_cast<int>(FItems.size()); }
    TOcSimpleXmlElem* Items(int i) const { return FItems[static_cast<size_t>(i)].get(); }
    TOcSimpleXmlElem* ItemNamed(std::string_view name) const;

    // Takes ownership and returns the element.
    TOcSimpleXmlElem* Add(std::unique_ptr<TOcSimpleXmlElem> elem);
    TOcSimpleXmlElem* Add(TOcSimpleXmlElem* elem) {
        return Add(std::unique_ptr<TOcSimpleXmlElem>(elem));
    }
    // New ordinary element with this name and text.
    TOcSimpleXmlElem* Add(std::string_view name, std::string_view text);
    TOcSimpleXmlElem* Add(std::string_view name, const char* text) {
        return Add(name, std::string_view(text));
    }
    TOcSimpleXmlElem* Add(std::string_view name, const std::string& text) {
        return Add(name, std::string_view(text));
    }
    // "-1" for true, "0" for false.
    TOcSimpleXmlElem* Add(std::string_view name, bool value);

    // Value of ItemNamed(name) (also when empty); def when there is none.
    std::string Value(std::string_view name, std::string_view def = {}) const;
    // IntValue of ItemNamed(name); def when there is none (-1 when present but not an integer).
    int64_t IntValue(std::string_view name, int64_t def) const;
    // def when absent or empty; else a number is true unless 0, "True"/"False" any case,
    // anything else false.
    bool BoolValue(std::string_view name, bool def) const;

    // Destroys all children.
    void Clear();
    // Destroys one child.
    void Delete(int i);
    // Hands one child to the caller (its Parent is cleared).
    std::unique_ptr<TOcSimpleXmlElem> Extract(int i);
    void Reserve(size_t n) { FItems.reserve(n); }

private:
    TOcSimpleXmlElem* FOwner;
    std::vector<std::unique_ptr<TOcSimpleXmlElem>> FItems;
};

// Common base of every kind of node.
class TOcSimpleXmlElem {
public:
    TOcSimpleXmlElem() = default;
    explicit TOcSimpleXmlElem(std::string name, std::string value = {});
    TOcSimpleXmlElem(const TOcSimpleXmlElem&) = delete;
    TOcSimpleXmlElem& operator=(const TOcSimpleXmlElem&) = delete;
    virtual ~TOcSimpleXmlElem();

    // Every element carries a small header naming where its memory came from: the heap, or
    // the block store of the document that read it (one allocation per many elements). An
    // element taken out of such a document keeps that store alive until it is destroyed.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, ocelis::TXmlArena& arena);
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, ocelis::TXmlArena& arena) noexcept;

    virtual TOcSimpleXmlKind Kind() const = 0;

    const std::string& Name() const { return FName; }
    // An empty name leaves the old one.
    void SetName(std::string name);
    const std::string& Value() const { return FValue; }
    void SetValue(std::string value) { FValue = std::move(value); }
    const std::string& NameSpace() const;
    void SetNameSpace(std::string nameSpace);
    TOcSimpleXmlElem* Parent() const { return FParent; }

    // The child list is created on first use; the const form never creates (an absent list
    // reads as empty).
    TOcSimpleXmlElems& Items();
    const TOcSimpleXmlElems& Items() const;
    TOcSimpleXmlProps& Properties() { return FProps; }
    const TOcSimpleXmlProps& Properties() const { return FProps; }
    bool HasItems() const { return FItems && FItems->Count() > 0; }
    bool HasProperties() const { return FProps.Count() > 0; }

    // Value as a 64-bit decimal integer; -1 when it is not one (also when empty).
    int64_t IntValue() const;

    // Appends this node's text at the given indentation (lines end in CR LF).
    virtual void Write(std::string& out, std::string_view indent) const = 0;
    // About how many bytes Write gives at an indentation of this length (texts counted
    // unescaped), so that the output can be allocated once.
    virtual size_t WriteSizeHint(size_t indent) const;

protected:
    void WriteProperties(std::string& out) const;

private:
    friend class TOcSimpleXmlElems;
    friend class TOcSimpleXmlParser;
    std::string FName;
    TOcSimpleXmlElem* FParent = nullptr;
    std::unique_ptr<TOcSimpleXmlElems> FItems;
    TOcSimpleXmlProps FProps;
    std::string FValue;
    // Out of line: prefixes are rare, and a small element is much cheaper to allocate.
    std::unique_ptr<std::string> FNameSpace;
};

// An ordinary tag with properties and children.
class TOcSimpleXmlElemClassic : public TOcSimpleXmlElem {
public:
    using TOcSimpleXmlElem::TOcSimpleXmlElem;
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::Classic; }
    void Write(std::string& out, std::string_view indent) const override;
};

// A run of character data; only Value.
class TOcSimpleXmlElemText : public TOcSimpleXmlElem {
public:
    TOcSimpleXmlElemText() = default;
    explicit TOcSimpleXmlElemText(std::string value) : TOcSimpleXmlElem({}, std::move(value)) {}
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::Text; }
    void Write(std::string& out, std::string_view indent) const override;
};

class TOcSimpleXmlElemComment : public TOcSimpleXmlElem {
public:
    TOcSimpleXmlElemComment() = default;
    explicit TOcSimpleXmlElemComment(std::string value) : TOcSimpleXmlElem({}, std::move(value)) {}
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::Comment; }
    void Write(std::string& out, std::string_view indent) const override;
};

class TOcSimpleXmlElemCData : public TOcSimpleXmlElem {
public:
    TOcSimpleXmlElemCData() = default;
    explicit TOcSimpleXmlElemCData(std::string value) : TOcSimpleXmlElem({}, std::move(value)) {}
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::CData; }
    void Write(std::string& out, std::string_view indent) const override;
};

// The XML declaration. Encoding is what the text says of itself; LoadFromFile has already
// converted the file and sets it to what is then held.
class TOcSimpleXmlElemHeader : public TOcSimpleXmlElem {
public:
    TOcSimpleXmlElemHeader() = default;
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::Header; }
    void Write(std::string& out, std::string_view indent) const override;

    std::string Version = "1.0";
    std::string Encoding = "iso-8859-1";
    bool Standalone = false;
};

// Document type declaration; Value holds its trimmed text.
class TOcSimpleXmlElemDocType : public TOcSimpleXmlElem {
public:
    TOcSimpleXmlElemDocType() = default;
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::DocType; }
    void Write(std::string& out, std::string_view indent) const override;
};

// Style-sheet instruction; its properties are kept.
class TOcSimpleXmlElemSheet : public TOcSimpleXmlElem {
public:
    TOcSimpleXmlElemSheet() = default;
    TOcSimpleXmlKind Kind() const override { return TOcSimpleXmlKind::Sheet; }
    void Write(std::string& out, std::string_view indent) const override;
};

class TOcSimpleXml {
public:
    // Deeper nesting than this fails to load instead of exhausting the stack.
    static constexpr int kMaxDepth = 4096;
    // More nodes (elements, texts, comments, properties) than this fail to load, which bounds
    // a document's memory to a few hundred MiB whatever its input.
    static constexpr size_t kMaxNodes = 4'000'000;
    // Larger files are refused by LoadFromFile.
    static constexpr uint64_t kMaxFileSize = 256u * 1024u * 1024u;
    // The declaration of a document built here: its text is always UTF-8.
    static constexpr const char* kWrittenEncoding = "UTF-8";

    TOcSimpleXml();
    TOcSimpleXml(const TOcSimpleXml&) = delete;
    TOcSimpleXml& operator=(const TOcSimpleXml&) = delete;
    ~TOcSimpleXml();

    TOcSimpleXmlElem* Root() const { return FRoot.get(); }
    TOcSimpleXmlElems& Prolog() { return FProlog; }
    const TOcSimpleXmlElems& Prolog() const { return FProlog; }

    // Lowers (or raises) the node bound for this document's later loads.
    void SetNodeLimit(size_t limit) { FNodeLimit = limit; }
    size_t NodeLimit() const { return FNodeLimit; }
    // Lowers the file size LoadFromFile accepts (EFBIG beyond it).
    void SetFileLimit(uint64_t limit) { FFileLimit = limit; }

    // Empties prolog and root (the root becomes unnamed).
    void Clear();

    // Reads regular files only, never blocking on a FIFO or device. Throws
    // std::system_error when the file cannot be read (the document then stays as it was),
    // TOcSimpleXmlInvalid on malformed input (the document is then partly filled).
    // The file's bytes are converted to UTF-8 first (XmlFileTextToUtf8).
    void LoadFromFile(const std::string& path);
    // Parses text as it is, with no conversion.
    void LoadFromString(std::string_view bytes);

    // Adds an XML declaration naming UTF-8 when the prolog is empty, then writes.
    std::string SaveToString();
    // Written atomically: a temporary file beside the target, flushed and renamed over it
    // (through a symlink to its target). On failure (std::system_error) the old file stays.
    void SaveToFile(const std::string& path,
                    ocelis::TFileAccess access = ocelis::TFileAccess::Kept);

private:
    void ReleaseArena();

    TOcSimpleXmlElems FProlog;
    std::unique_ptr<TOcSimpleXmlElem> FRoot;
    size_t FNodeLimit = kMaxNodes;
    uint64_t FFileLimit = kMaxFileSize;
    // The block store of the last load; shared with the elements read into it.
    ocelis::TXmlArena* FArena = nullptr;
};

namespace ocelis {
// The reader's decoder; exposed for tests and the translator.
std::string XmlDecode(std::string_view text, bool fold);
// Escapes the five special characters as numeric references.
void XmlEscapeTo(std::string& out, std::string_view text);

// Appends to a string through a plain cursor: the string is grown ahead in large steps and cut
// back to what was written when the writer goes. std::string::append per small piece costs
// more than the copying itself. Nothing else may touch the string while the writer lives,
// except inside Call.
class TXmlOut {
public:
    explicit TXmlOut(std::string& out)
        : FOut(out), FBuf(out.data()), FLen(out.size()), FCap(FLen) {}
    TXmlOut(const TXmlOut&) = delete;
    TXmlOut& operator=(const TXmlOut&) = delete;
    ~TXmlOut() { FOut.resize(FLen); }

    void Put(char c) {
        Need(1);
        FBuf[FLen++] = c;
    }
    void Put(std::string_view text) {
        Need(text.size());
        std::memcpy(FBuf + FLen, text.data(), text.size());
        FLen += text.size();
    }
    // The five special characters as numeric references, every other byte unchanged.
    void PutEscaped(std::string_view text);
    void PutInt(int64_t value);
    // ' name="escaped value"'
    void PutProp(std::string_view name, std::string_view value) {
        Put(' ');
        Put(name);
        Put("=\"");
        PutEscaped(value);
        Put('"');
    }
    void PutCrLf() { Put(std::string_view("\r\n", 2)); }

    // Hands the string, cut to what was written, to code that appends to it directly.
    template <typename Fn> void Call(Fn&& fn) {
        FOut.resize(FLen);
        fn(FOut);
        FBuf = FOut.data();
        FLen = FCap = FOut.size();
    }

private:
    void Need(size_t n) {
        if (FCap - FLen < n)
            Grow(n);
    }
    void Grow(size_t n);

    std::string& FOut;
    char* FBuf;
    size_t FLen;
    size_t FCap;
};
} // namespace ocelis
