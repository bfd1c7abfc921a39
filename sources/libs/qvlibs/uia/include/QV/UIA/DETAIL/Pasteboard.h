#pragma once

#include <QV/UIA/ClipBoardFormat.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace QV::UIA::DETAIL {

// A pasteboard as the layer sees one: numbered items (from 1), each offering
// its data under one or more types (platform type identifiers, see
// ClipBoardFormatHandle). Every read may fail, because the data may live in
// another program.
//
// Thread affinity: main thread.
class Pasteboard
{
public:
    virtual ~Pasteboard() = default;

    // The name another program or a later call opens it by.
    virtual std::string name() const = 0;

    // Empties the pasteboard, takes it over for this program and puts one
    // item per entry of `items` under `type`; the number of items put.
    virtual std::size_t replace(const std::string& type, const std::vector<ClipBoardItemData>& items) = 0;

    virtual std::optional<std::size_t> itemCount() = 0;
    virtual std::optional<std::vector<std::string>> itemTypes(std::size_t item) = 0;
    virtual std::optional<ClipBoardItemData> itemData(std::size_t item, const std::string& type) = 0;
};

// The general clipboard, a new pasteboard of a unique name, and one opened
// by name (the drag pasteboard); null when the platform has none.
std::shared_ptr<Pasteboard> openGeneralPasteboard();
std::shared_ptr<Pasteboard> createUniquePasteboard();
std::shared_ptr<Pasteboard> openPasteboardNamed(const std::string& name);

} // namespace QV::UIA::DETAIL
