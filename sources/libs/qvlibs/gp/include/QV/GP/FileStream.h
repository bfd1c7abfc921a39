#pragma once

#include <QV/GP/FileStorage.h>
#include <QV/GP/Stream.h>

namespace QV::GP {

// A stream together with the file storage it reads and writes. The storage
// starts closed; open it through getFileStorage. The storage is closed when
// the stream goes.
template <typename Base>
class FileStreamBase : public Base
{
public:
    FileStreamBase() { Base::setStorage(&m_fileStorage); }

    FileStorage& getFileStorage() noexcept { return m_fileStorage; }

private:
    FileStorage m_fileStorage;
};

class FileStream : public FileStreamBase<Stream>
{
};

} // namespace QV::GP
