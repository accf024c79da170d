// Reading an XMP packet as XML, far enough for the few properties Pivotta reads and edits in
// place: elements with their attributes, names resolved to their namespaces (by URI, whatever
// prefix the packet chose), and where each value stands, so that a value can be replaced without
// moving anything else. No entity is expanded and no text is copied: names and values are views
// into the packet. Standard library only, bounded in every step, so that it can be fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Xmp {

// The identifier that starts an APP1 segment holding an XMP packet, its closing zero included.
constexpr std::string_view SegmentIdentifier{"http://ns.adobe.com/xap/1.0/\0", 29};

constexpr std::string_view TiffNamespace = "http://ns.adobe.com/tiff/1.0/";
constexpr std::string_view ContainerNamespace = "http://ns.google.com/photos/1.0/container/";
constexpr std::string_view ItemNamespace = "http://ns.google.com/photos/1.0/container/item/";

// A stretch of the packet, from begin up to but not including end.
struct Span {
    uint64_t begin = 0;
    uint64_t end = 0;

    uint64_t size() const { return end - begin; }
};

struct Name {
    std::string_view qualified; // as written, prefix and colon included
    std::string_view prefix;    // empty when there is none
    std::string_view local;
    std::string_view uri; // the namespace bound to the prefix where the name stands; empty if none

    bool is(std::string_view namespaceUri, std::string_view localName) const {
        return uri == namespaceUri && local == localName;
    }
};

struct Attribute {
    Name name;
    Span whole; // from the name's first character to the closing quote, inclusive
    Span value; // between the quotes
};

struct Element {
    Name name;
    Span startTag; // from '<' to '>', inclusive
    std::vector<Attribute> attributes;
    bool empty = false; // written as <name .../>
    int depth = 0;      // 0 for the outermost element
};

struct ElementEnd {
    Span content;         // between the start tag and the end tag; empty for an empty element
    bool textOnly = true; // the content holds no markup: no element, comment, CDATA or PI
    Span endTag;          // from "</" to '>', inclusive; empty for an empty element
};

class Handler {
public:
    virtual ~Handler();
    virtual void startElement(const Element &element);
    virtual void endElement(const Element &element, const ElementEnd &end);
};

// Scans the packet from its first byte, telling `handler` of every element. False when the
// packet is not well formed as far as the scan can tell (a tag cut short, an end tag that does
// not match); the elements before the fault have been told.
bool scan(std::string_view packet, Handler &handler);

// Where a property's value stands and what closes it, so that another value can take its place.
struct ValueSlot {
    Span value;                   // the value's text
    Span closing;                 // the attribute's closing quote, or the element's end tag
    std::string_view elementName; // the element's qualified name; empty for an attribute
};
ValueSlot attributeSlot(const Attribute &attribute);
ValueSlot elementSlot(const Element &element, const ElementEnd &end);

// An edit of the packet: the bytes of `span` give way to `text`.
struct Replacement {
    Span span;
    std::string text;

    int64_t growth() const { return int64_t(text.size()) - int64_t(span.size()); }
};

// The edit that writes `text` in the place of the slot's value. A shorter text leaves the packet
// as long as it was: the bytes it frees become white space where XML allows it, after the
// attribute's closing quote or before the end tag's '>'. A longer text makes the packet longer by
// the difference.
Replacement replaceValue(std::string_view packet, const ValueSlot &slot, std::string_view text);

// Whether a property name means the TIFF namespace's `local` property: bound to its URI under
// any prefix, or written with the prefix "tiff" that nothing binds (as some writers leave it).
bool isTiffProperty(const Name &name, std::string_view local);

// The first run of XML white space before "<?xpacket end=": the room a packet keeps for edits
// that grow it. Empty (begin == end) when there is none.
Span trailingPadding(std::string_view packet);

bool isSpace(char c);
// `text` without XML white space at either end.
std::string_view trimmed(std::string_view text);
// The decimal value of `text` (white space around it allowed), or -1 when it is no such number
// or has more than 15 digits.
int64_t decimalValue(std::string_view text);

} // namespace Xmp
