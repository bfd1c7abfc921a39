#pragma once

#include <QV/GP/MemoryStorage.h>
#include <QV/GP/Stream.h>

namespace QV::GP {

// A stream together with the memory storage it reads and writes. The storage
// starts closed; point it at a block through getMemoryStorage().init.
template <typename Base>
class MemoryStreamBase : public Base
{
public:
    MemoryStreamBase() { Base::setStorage(&m_memoryStorage); }

    MemoryStorage& getMemoryStorage() noexcept { return m_memoryStorage; }

private:
    MemoryStorage m_memoryStorage;
};

class MemoryStream : public MemoryStreamBase<Stream>
{
};

} // namespace QV::GP
