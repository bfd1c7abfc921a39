#pragma once

#include <QV/GP/Point.h>
#include <QV/UIA/EventTarget.h>

#include <cstdint>
#include <vector>

namespace QV::UIA {

class ClipBoardFormat;
class ClipBoardFormatHandle;
class ExchangeData;
class Picture;

namespace DragDropSupport {

// What a drop does with the data; bits, so that a source can allow several.
enum DropEffect : std::uint32_t {
    kDropEffectNone = 0,
    kDropEffectCopy = 1,
    kDropEffectMove = 2,
    kDropEffectLink = 4,
    // A drag-request reply of exactly this value accepts the drag without
    // choosing an effect.
    kDropEffectAcceptedOnly = 0x80000000,
};

// How a drag that started here ended: an effect, or one of these.
enum DropResult : std::uint32_t {
    kDropResultNotStarted = 0,
    kDropResultCopy = 1,
    kDropResultMove = 2,
    kDropResultLink = 4,
    kDropResultNone = 64,
    kDropResultDelete = 128,
};

// The picture shown under the pointer during a drag, and the point of it
// that stays under the pointer.
struct DragImage {
    Picture* picture = nullptr;
    std::int32_t hotSpotX = 0;
    std::int32_t hotSpotY = 0;
};

} // namespace DragDropSupport

// The toolkit's in-process drag record. Only its format id is the layer's
// business: it tells which registered kind of record a drop carries.
class DragDropData
{
public:
    explicit DragDropData(std::uint32_t formatId) noexcept : m_formatId(formatId) {}
    virtual ~DragDropData() = default;

    std::uint32_t getFormatId() const noexcept { return m_formatId; }

private:
    std::uint32_t m_formatId;
};

// A registered kind of in-process drag record (DragDropManager::registerFormat).
class DragDropFormat
{
public:
    explicit DragDropFormat(std::uint32_t id) noexcept : m_id(id) {}
    std::uint32_t getId() const noexcept { return m_id; }

private:
    std::uint32_t m_id;
};

// The record of every drag event: where the pointer is over the view, the
// modifier keys, the drag's data and the effects. effect is the receiver's
// reply for a request and the effect to perform for a drop.
struct DragEventData : EventData {
    GP::Point position;
    std::uint32_t modifiers = 0;
    ExchangeData* exchangeData = nullptr;
    std::uint32_t effect = 0;
    std::uint32_t allowedEffects = 0;

    // Both ask the installed drag-drop delegate about this drag's data.
    bool getFormat(ClipBoardFormat& format) const;
    bool containsFormat(const ClipBoardFormatHandle& handle) const;
};

// kEventDragRequest: a handler that wants the drag sets target (who gets the
// drop) and effect, and may name observers in receivers.
struct DragDropRequestEventData : DragEventData {
    std::vector<EventTarget*> receivers;
    EventTarget* target = nullptr;
};

struct DragDropReceiveEventData : DragEventData {
};

struct DragDropLeavedEventData : DragEventData {
};

// kEventDragFinished: a DragDropSupport::DropResult.
struct DragDropFinishedEventData : EventData {
    std::uint32_t result = 0;
};

} // namespace QV::UIA
