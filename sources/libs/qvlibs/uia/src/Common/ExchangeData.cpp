#include <QV/GP/StringUtil.h>
#include <QV/UIA/ClipBoardFormat.h>
#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/DETAIL/Pasteboard.h>
#include <QV/UIA/ExchangeData.h>

#include <utility>

namespace QV::UIA {

namespace {
// The first of the item's types that may be read as `type`, or null.
const std::string* firstConforming(const std::vector<std::string>& types, const std::string& type)
{
    for (const std::string& offered : types)
        if (ClipBoardFormatHandle::conformsTo(offered, type))
            return &offered;
    return nullptr;
}
} // namespace

ExchangeData::ExchangeData(std::shared_ptr<DETAIL::Pasteboard> pasteboard) noexcept
    : m_pasteboard(std::move(pasteboard))
{
}

ExchangeData::ExchangeData(const ClipBoardFormat& format, bool general)
    : m_pasteboard(general ? DETAIL::openGeneralPasteboard() : DETAIL::createUniquePasteboard())
{
    if (!m_pasteboard)
        return;
    std::vector<ClipBoardItemData> items;
    format.writeOSData(items);
    if (items.empty() || m_pasteboard->replace(format.getHandle().getType(), items) == 0)
        m_pasteboard.reset();
}

bool ExchangeData::containsFormat(const ClipBoardFormatHandle& handle) const
{
    if (!m_pasteboard)
        return false;
    const std::optional<std::size_t> count = m_pasteboard->itemCount();
    if (!count)
        return false;
    // This platform does not translate between text encodings itself: UTF-8
    // text is offered as UTF-8 only, and getFormat reads it as UTF-16 text.
    const bool text = handle.getType() == ClipBoardFormatHandle::kUTF16PlainText;
    for (std::size_t item = 1; item <= *count; ++item) {
        const auto types = m_pasteboard->itemTypes(item);
        if (!types)
            return false;
        if (firstConforming(*types, handle.getType()) != nullptr
            || (text && firstConforming(*types, ClipBoardFormatHandle::kUTF8PlainText) != nullptr))
            return true;
    }
    return false;
}

bool ExchangeData::getFormat(ClipBoardFormat& format) const
{
    if (!containsFormat(format.getHandle()))
        return false;
    const std::optional<std::size_t> count = m_pasteboard->itemCount();
    if (!count)
        return false;
    format.notifyNumItems(*count);

    const std::string& wanted = format.getHandle().getType();
    const bool text = wanted == ClipBoardFormatHandle::kUTF16PlainText;
    bool ok = false;
    for (std::size_t item = 1; item <= *count; ++item) {
        const auto types = m_pasteboard->itemTypes(item);
        if (!types)
            break;
        bool itemDone = false;
        // Text is read from UTF-8 where an item offers it: other programs
        // write UTF-8 first, and it carries no byte order to guess.
        if (text)
            if (const std::string* utf8 = firstConforming(*types, ClipBoardFormatHandle::kUTF8PlainText))
                itemDone = copyAndConvertData(format, item, *utf8);
        if (!itemDone)
            if (const std::string* type = firstConforming(*types, wanted))
                if (const auto bytes = m_pasteboard->itemData(item, *type))
                    itemDone = format.addRawData(bytes->data(), static_cast<long>(bytes->size()));
        ok = ok || itemDone;
        if (ok && !format.canHoldMultipleItems())
            break;
    }
    return ok;
}

bool ExchangeData::copyAndConvertData(ClipBoardFormat& format, std::size_t item, const std::string& type) const
{
    const auto bytes = m_pasteboard->itemData(item, type);
    if (!bytes)
        return false;
    const std::u16string units =
        GP::details::utf_to_utf<char16_t, char, true>::apply(std::string(bytes->begin(), bytes->end()));
    return format.addRawData(reinterpret_cast<const unsigned char*>(units.data()),
                             static_cast<long>(units.size() * sizeof(char16_t)));
}

} // namespace QV::UIA
