// libFuzzer entry point for the XMP scan: every input is scanned as a packet, every span the scan
// reports must lie inside it and in order, and every value it finds is replaced by a shorter and
// by a longer text, which must keep or grow the packet exactly as promised.
#include "exif/xmppacket.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

class Checker : public Xmp::Handler {
public:
    explicit Checker(std::string_view xmpPacket)
        : packet(xmpPacket) {}

    void startElement(const Xmp::Element &element) override {
        requireInside(element.startTag);
        for (const Xmp::Attribute &attribute : element.attributes) {
            requireInside(attribute.whole);
            requireInside(attribute.value);
            require(attribute.whole.begin <= attribute.value.begin &&
                    attribute.value.end < attribute.whole.end);
            replaceBoth(Xmp::attributeSlot(attribute));
        }
        Xmp::isTiffProperty(element.name, "Orientation");
    }

    void endElement(const Xmp::Element &element, const Xmp::ElementEnd &end) override {
        requireInside(end.content);
        requireInside(end.endTag);
        require(element.startTag.end == end.content.begin);
        if (!element.empty && end.textOnly && end.content.size() > 0)
            replaceBoth(Xmp::elementSlot(element, end));
        Xmp::decimalValue(packet.substr(end.content.begin, end.content.size()));
    }

private:
    void requireInside(const Xmp::Span &span) const {
        require(span.begin <= span.end && span.end <= packet.size());
    }

    void replaceBoth(const Xmp::ValueSlot &slot) const {
        requireInside(slot.value);
        requireInside(slot.closing);
        const Xmp::Replacement shorter = Xmp::replaceValue(packet, slot, "1");
        require(slot.value.size() == 0 || shorter.growth() == 0);
        const Xmp::Replacement longer = Xmp::replaceValue(packet, slot, "123456789012");
        require(longer.span.end <= packet.size() && longer.growth() >= 0);
    }

    std::string_view packet;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view packet(reinterpret_cast<const char *>(data), size);
    Checker checker(packet);
    Xmp::scan(packet, checker);
    const Xmp::Span padding = Xmp::trailingPadding(packet);
    require(padding.begin <= padding.end && padding.end <= size);
    return 0;
}
