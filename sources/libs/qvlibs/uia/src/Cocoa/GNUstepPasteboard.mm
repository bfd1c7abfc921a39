#include "../Common/FileURLs.h"
#include "../X11/X11ClipboardSelection.h"
#include "GNUstepPasteboard.h"

#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/DETAIL/Pasteboard.h>

#include "GNUstepHeaders.h"

#include <algorithm>
#include <utility>

namespace QV::UIA::DETAIL {

namespace {

using Handle = ClipBoardFormatHandle;

// A platform pasteboard as numbered items. GNUstep keeps one value per type
// rather than items: its string is item 1's UTF-8 text, each file of its
// file-name list an item of its own, any other type item 1's data. File
// lists of the general clipboard travel as text/uri-list on the X
// clipboard instead, and its UTF-8 text is read from the X clipboard too
// (X11ClipboardSelection), because GNUstep's pasteboard server neither
// offers nor reads that type and cannot read a text sent incrementally.
//
// Every call to GNUstep goes through guardPasteboard: a failed one leaves
// the pasteboard empty (no items) or nothing put.
class GNUstepPasteboard final : public Pasteboard
{
public:
    GNUstepPasteboard(NSPasteboard* board, bool general) : m_board([board retain]), m_general(general) {}
    ~GNUstepPasteboard() override
    {
        guardPasteboard([this] { [m_board release]; });
    }
    GNUstepPasteboard(const GNUstepPasteboard&) = delete;
    GNUstepPasteboard& operator=(const GNUstepPasteboard&) = delete;

    std::string name() const override
    {
        std::string text;
        guardPasteboard([&] {
            if (NSString* name = [m_board name])
                text = [name UTF8String];
        });
        return text;
    }

    std::size_t replace(const std::string& type, const std::vector<ClipBoardItemData>& items) override
    {
        m_snapshot.reset();
        if (items.empty())
            return 0;
        std::size_t put = 0;
        const bool ran = guardPasteboard([&] {
            if (type == Handle::kUTF16PlainText) {
                const ClipBoardItemData& bytes = items.front();
                NSString* text = [[[NSString alloc] initWithCharacters:reinterpret_cast<const unichar*>(bytes.data())
                                                                length:bytes.size() / 2] autorelease];
                [m_board declareTypes:[NSArray arrayWithObject:NSStringPboardType] owner:nil];
                put = [m_board setString:text forType:NSStringPboardType] ? 1 : 0;
            } else if (type == Handle::kFileURL) {
                put = replaceFiles(items);
            } else {
                NSString* name = [NSString stringWithUTF8String:type.c_str()];
                const ClipBoardItemData& bytes = items.front();
                [m_board declareTypes:[NSArray arrayWithObject:name] owner:nil];
                put = [m_board setData:[NSData dataWithBytes:bytes.data() length:bytes.size()] forType:name] ? 1 : 0;
            }
        });
        return ran ? put : 0;
    }

    std::optional<std::size_t> itemCount() override
    {
        takeSnapshot();
        return m_snapshot->size();
    }

    std::optional<std::vector<std::string>> itemTypes(std::size_t item) override
    {
        takeSnapshot();
        if (item == 0 || item > m_snapshot->size())
            return std::nullopt;
        std::vector<std::string> types;
        for (const Entry& entry : (*m_snapshot)[item - 1])
            types.push_back(entry.type);
        return types;
    }

    std::optional<ClipBoardItemData> itemData(std::size_t item, const std::string& type) override
    {
        takeSnapshot();
        if (item == 0 || item > m_snapshot->size())
            return std::nullopt;
        for (const Entry& entry : (*m_snapshot)[item - 1]) {
            if (entry.type != type)
                continue;
            if (entry.data)
                return entry.data;
            std::optional<ClipBoardItemData> bytes;
            const bool ran = guardPasteboard([&] {
                NSData* data = [m_board dataForType:[NSString stringWithUTF8String:type.c_str()]];
                if (data != nil) {
                    const auto* begin = static_cast<const unsigned char*>([data bytes]);
                    bytes.emplace(begin, begin + [data length]);
                }
            });
            return ran ? bytes : std::nullopt;
        }
        return std::nullopt;
    }

private:
    struct Entry {
        std::string type;
        // Text and file URLs are read with the snapshot; other types when
        // asked for, since they may be large.
        std::optional<ClipBoardItemData> data;
    };
    using Item = std::vector<Entry>;

    static void addEntry(std::vector<Item>& items, std::size_t index, Entry entry)
    {
        if (items.size() <= index)
            items.resize(index + 1);
        items[index].push_back(std::move(entry));
    }

    std::size_t replaceFiles(const std::vector<ClipBoardItemData>& items)
    {
        std::vector<std::string> urls;
        for (const ClipBoardItemData& item : items)
            urls.emplace_back(item.begin(), item.end());
        if (m_general)
            return X11::offerFileList(urls) ? urls.size() : 0;
        NSMutableArray* paths = [NSMutableArray array];
        for (const std::string& url : urls) {
            const std::string path = pathFromFileURL(url);
            if (!path.empty())
                [paths addObject:[NSString stringWithUTF8String:path.c_str()]];
        }
        if ([paths count] == 0)
            return 0;
        [m_board declareTypes:[NSArray arrayWithObject:NSFilenamesPboardType] owner:nil];
        return [m_board setPropertyList:paths forType:NSFilenamesPboardType] ? [paths count] : 0;
    }

    void takeSnapshot()
    {
        if (m_snapshot)
            return;
        // The X clipboard is asked first: when its owner offers UTF-8 text,
        // GNUstep is never asked for the text, since its server would leave
        // an incremental transfer unfinished and the owner waiting.
        const X11::ClipboardContent fromX = m_general ? X11::readClipboard() : X11::ClipboardContent{};
        if (fromX.refused) {
            m_snapshot.emplace();
            return;
        }
        std::vector<Item> items;
        const bool ran = guardPasteboard([&] {
            NSArray* types = [m_board types];
            NSEnumerator* each = [types objectEnumerator];
            for (NSString* type = [each nextObject]; type != nil; type = [each nextObject]) {
                if ([type isEqualToString:NSStringPboardType]) {
                    if (fromX.offersText) {
                        if (const auto& text = fromX.text)
                            addEntry(items, 0, {Handle::kUTF8PlainText, ClipBoardItemData(text->begin(), text->end())});
                        continue;
                    }
                    NSString* text = [m_board stringForType:NSStringPboardType];
                    NSData* utf8 = [text dataUsingEncoding:NSUTF8StringEncoding];
                    if (utf8 != nil) {
                        const auto* begin = static_cast<const unsigned char*>([utf8 bytes]);
                        addEntry(items, 0, {Handle::kUTF8PlainText, ClipBoardItemData(begin, begin + [utf8 length])});
                    }
                } else if ([type isEqualToString:NSFilenamesPboardType]) {
                    id paths = [m_board propertyListForType:NSFilenamesPboardType];
                    if (![paths isKindOfClass:[NSArray class]])
                        continue;
                    std::size_t index = 0;
                    NSEnumerator* eachPath = [paths objectEnumerator];
                    for (id path = [eachPath nextObject]; path != nil; path = [eachPath nextObject]) {
                        if (![path isKindOfClass:[NSString class]])
                            continue;
                        const std::string url = fileURLFromPath([path UTF8String]);
                        if (!url.empty())
                            addEntry(items, index++, {Handle::kFileURL, ClipBoardItemData(url.begin(), url.end())});
                    }
                } else if (const char* name = [type UTF8String]) {
                    addEntry(items, 0, {name, std::nullopt});
                }
            }
        });
        if (!ran)
            items.clear();
        else if (fromX.urls) {
            std::size_t index = 0;
            for (const std::string& url : *fromX.urls)
                addEntry(items, index++, {Handle::kFileURL, ClipBoardItemData(url.begin(), url.end())});
        }
        m_snapshot = std::move(items);
    }

    NSPasteboard* m_board;
    bool m_general;
    std::optional<std::vector<Item>> m_snapshot;
};

std::shared_ptr<Pasteboard> wrap(NSPasteboard* board, bool general)
{
    return board != nil ? std::make_shared<GNUstepPasteboard>(board, general) : nullptr;
}

} // namespace

bool guardPasteboard(const std::function<void()>& work) noexcept
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    bool ran = false;
    try {
        work();
        ran = true;
    } catch (...) {
        // A catch-all, not @catch: with g++ 12 and the GNU Objective-C
        // runtime of Debian 12, a typed @catch in Objective-C++ crashes in
        // the C++ personality routine when GNUstep raises, while a catch-all
        // takes the exception as a foreign one and frees it.
    }
    [pool release];
    return ran;
}

std::shared_ptr<Pasteboard> wrapPlatformPasteboard(void* board)
{
    return wrap(static_cast<NSPasteboard*>(board), false);
}

// Opening a pasteboard asks GNUstep's server for it, which may fail as any
// other call does.
std::shared_ptr<Pasteboard> openGeneralPasteboard()
{
    std::shared_ptr<Pasteboard> board;
    guardPasteboard([&] { board = wrap([NSPasteboard generalPasteboard], true); });
    return board;
}

std::shared_ptr<Pasteboard> createUniquePasteboard()
{
    std::shared_ptr<Pasteboard> board;
    guardPasteboard([&] { board = wrap([NSPasteboard pasteboardWithUniqueName], false); });
    return board;
}

std::shared_ptr<Pasteboard> openPasteboardNamed(const std::string& name)
{
    std::shared_ptr<Pasteboard> board;
    guardPasteboard(
        [&] { board = wrap([NSPasteboard pasteboardWithName:[NSString stringWithUTF8String:name.c_str()]], false); });
    return board;
}

} // namespace QV::UIA::DETAIL
