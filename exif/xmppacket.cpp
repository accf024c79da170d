// A small, bounded scan of an XMP packet's elements and attributes, with namespaces resolved.
#include "exif/xmppacket.h"

#include <algorithm>
#include <string>
#include <utility>

namespace Xmp {

namespace {

constexpr std::string_view XmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool isNameEnd(char c) {
    return isSpace(c) || c == '=' || c == '>' || c == '/' || c == '<' || c == '"' || c == '\'';
}

Name splitName(std::string_view qualified) {
    Name name;
    name.qualified = qualified;
    const size_t colon = qualified.find(':');
    if (colon == std::string_view::npos) {
        name.local = qualified;
    } else {
        name.prefix = qualified.substr(0, colon);
        name.local = qualified.substr(colon + 1);
    }
    return name;
}

// The prefixes bound in the open elements, innermost last; an empty prefix is the default
// namespace of element names.
class Bindings {
public:
    size_t mark() const { return bound.size(); }
    void release(size_t mark) { bound.resize(mark); }
    void bind(std::string_view prefix, std::string_view uri) { bound.emplace_back(prefix, uri); }

    std::string_view uriOf(std::string_view prefix) const {
        if (prefix == "xml")
            return XmlNamespace;
        for (auto it = bound.rbegin(); it != bound.rend(); ++it) {
            if (it->first == prefix)
                return it->second;
        }
        return {};
    }

private:
    std::vector<std::pair<std::string_view, std::string_view>> bound;
};

struct OpenElement {
    Element element;
    size_t bindingMark = 0;
    bool textOnly = true;
};

class Scanner {
public:
    Scanner(std::string_view packet, Handler &eventHandler)
        : text(packet)
        , handler(eventHandler) {}

    bool run() {
        while (position < text.size()) {
            const size_t tag = text.find('<', position);
            if (tag == std::string_view::npos)
                break;
            position = tag;
            if (!markup())
                return false;
        }
        return open.empty();
    }

private:
    bool startsWith(std::string_view prefix) const {
        return text.substr(position, prefix.size()) == prefix;
    }

    // Skips to just past `closing`; false when the packet ends first.
    bool skipPast(std::string_view closing) {
        const size_t at = text.find(closing, position);
        if (at == std::string_view::npos)
            return false;
        position = at + closing.size();
        return true;
    }

    void skipSpace() {
        while (position < text.size() && isSpace(text[position]))
            ++position;
    }

    std::string_view readName() {
        const size_t begin = position;
        while (position < text.size() && !isNameEnd(text[position]))
            ++position;
        return text.substr(begin, position - begin);
    }

    void noteMarkupInParent() {
        if (!open.empty())
            open.back().textOnly = false;
    }

    bool markup() {
        if (startsWith("<!--")) {
            noteMarkupInParent();
            return skipPast("-->");
        }
        if (startsWith("<![CDATA[")) {
            noteMarkupInParent();
            return skipPast("]]>");
        }
        if (startsWith("<?")) {
            noteMarkupInParent();
            return skipPast("?>");
        }
        if (startsWith("<!")) {
            noteMarkupInParent();
            return skipPast(">");
        }
        if (startsWith("</"))
            return endTag();
        return startTag();
    }

    bool startTag() {
        Element element;
        element.startTag.begin = position;
        ++position;
        element.name = splitName(readName());
        if (element.name.qualified.empty())
            return false;
        for (;;) {
            skipSpace();
            if (position >= text.size())
                return false;
            if (text[position] == '>') {
                ++position;
                break;
            }
            if (startsWith("/>")) {
                position += 2;
                element.empty = true;
                break;
            }
            Attribute attribute;
            if (!readAttribute(attribute))
                return false;
            element.attributes.push_back(attribute);
        }
        element.startTag.end = position;
        element.depth = int(open.size());
        noteMarkupInParent();

        OpenElement opened{std::move(element), bindings.mark(), true};
        resolveNames(opened.element);
        handler.startElement(opened.element);
        if (opened.element.empty) {
            ElementEnd end;
            end.content = {opened.element.startTag.end, opened.element.startTag.end};
            end.endTag = end.content;
            handler.endElement(opened.element, end);
            bindings.release(opened.bindingMark);
            return true;
        }
        open.push_back(std::move(opened));
        return true;
    }

    bool readAttribute(Attribute &attribute) {
        attribute.whole.begin = position;
        attribute.name = splitName(readName());
        if (attribute.name.qualified.empty())
            return false;
        skipSpace();
        if (position >= text.size() || text[position] != '=')
            return false;
        ++position;
        skipSpace();
        if (position >= text.size() || (text[position] != '"' && text[position] != '\''))
            return false;
        const char quote = text[position];
        const size_t closing = text.find(quote, position + 1);
        if (closing == std::string_view::npos)
            return false;
        attribute.value = {position + 1, closing};
        position = closing + 1;
        attribute.whole.end = position;
        return true;
    }

    // Namespace declarations first, since they hold for the names of their own element too.
    void resolveNames(Element &element) {
        for (const Attribute &attribute : element.attributes) {
            const std::string_view value =
                text.substr(attribute.value.begin, attribute.value.size());
            if (attribute.name.qualified == "xmlns")
                bindings.bind({}, value);
            else if (attribute.name.prefix == "xmlns")
                bindings.bind(attribute.name.local, value);
        }
        element.name.uri = bindings.uriOf(element.name.prefix);
        for (Attribute &attribute : element.attributes) {
            // Names without a prefix belong to no namespace when they are attributes.
            if (!attribute.name.prefix.empty())
                attribute.name.uri = bindings.uriOf(attribute.name.prefix);
        }
    }

    bool endTag() {
        const uint64_t begin = position;
        position += 2;
        const std::string_view name = readName();
        skipSpace();
        if (open.empty() || position >= text.size() || text[position] != '>' ||
            name != open.back().element.name.qualified)
            return false;
        ++position;
        OpenElement closed = std::move(open.back());
        open.pop_back();
        ElementEnd end;
        end.content = {closed.element.startTag.end, begin};
        end.textOnly = closed.textOnly;
        end.endTag = {begin, position};
        handler.endElement(closed.element, end);
        bindings.release(closed.bindingMark);
        return true;
    }

    std::string_view text;
    Handler &handler;
    size_t position = 0;
    std::vector<OpenElement> open;
    Bindings bindings;
};

} // namespace

Handler::~Handler() = default;
void Handler::startElement(const Element &) {}
void Handler::endElement(const Element &, const ElementEnd &) {}

bool scan(std::string_view packet, Handler &handler) {
    return Scanner(packet, handler).run();
}

ValueSlot attributeSlot(const Attribute &attribute) {
    return {attribute.value, {attribute.value.end, attribute.whole.end}, {}};
}

ValueSlot elementSlot(const Element &element, const ElementEnd &end) {
    return {end.content, end.endTag, element.name.qualified};
}

Replacement replaceValue(std::string_view packet, const ValueSlot &slot, std::string_view text) {
    Replacement edit;
    edit.span = {slot.value.begin, slot.closing.end};
    edit.text = std::string(text);
    if (slot.elementName.empty()) {
        // The closing quote, as it was.
        edit.text += packet.substr(slot.closing.begin, slot.closing.size());
        if (edit.text.size() < edit.span.size())
            edit.text.append(edit.span.size() - edit.text.size(), ' ');
        return edit;
    }
    std::string endTag = "</" + std::string(slot.elementName);
    const size_t room = edit.span.size() - std::min<size_t>(edit.span.size(), edit.text.size());
    if (room > endTag.size() + 1)
        endTag.append(room - endTag.size() - 1, ' ');
    edit.text += endTag + ">";
    return edit;
}

bool isTiffProperty(const Name &name, std::string_view local) {
    if (name.local != local)
        return false;
    return name.uri == TiffNamespace || (name.uri.empty() && name.prefix == "tiff");
}

Span trailingPadding(std::string_view packet) {
    const size_t trailer = packet.find("<?xpacket end=");
    if (trailer == std::string_view::npos)
        return {};
    size_t begin = trailer;
    while (begin > 0 && isSpace(packet[begin - 1]))
        --begin;
    return {begin, trailer};
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

int64_t decimalValue(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.size() > 15)
        return -1;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace Xmp
