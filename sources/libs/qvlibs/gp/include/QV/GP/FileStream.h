#pragma once

#include <QV/GP/FileContainerItemStorage.h>
#include <QV/GP/FileStorage.h>
#include <QV/GP/Stream.h>

namespace QV::GP {

// A stream together with the file storage it reads and writes, and an item
// storage for an item inside a container file. Both start closed; the stream
// reads the file storage unless the caller opens the item storage and points
// the stream at it with setStorage. Both are closed when the stream goes.
template <typename Base>
class FileStreamBase : public Base
{
public:
    FileStreamBase() { Base::setStorage(&m_fileStorage); }

    FileStorage& getFileStorage() noexcept { return m_fileStorage; }
    FileContainerItemStorage& getItemStorage() noexcept { return m_itemStorage; }

private:
    FileStorage m_fileStorage;
    FileContainerItemStorage m_itemStorage;
};

class FileStream : public FileStreamBase<Stream>
{
};

} // namespace QV::GP
