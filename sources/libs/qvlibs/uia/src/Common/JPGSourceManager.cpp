#include "Common/JPGSourceManager.h"

#include <QV/GP/IStorage.h>
#include <QV/GP/Stream.h>

namespace QV::UIA {

void JPGSourceManager::attach(j_decompress_ptr cinfo, GP::Stream& stream) noexcept
{
    m_stream = &stream;
    m_source.init_source = initSource;
    m_source.fill_input_buffer = fillInputBuffer;
    m_source.skip_input_data = skipInputData;
    m_source.resync_to_restart = jpeg_resync_to_restart;
    m_source.term_source = termSource;
    m_source.next_input_byte = nullptr;
    m_source.bytes_in_buffer = 0;
    cinfo->src = &m_source;
}

JPGSourceManager& JPGSourceManager::of(j_decompress_ptr cinfo) noexcept
{
    return *reinterpret_cast<JPGSourceManager*>(cinfo->src);
}

void JPGSourceManager::initSource(j_decompress_ptr cinfo)
{
    JPGSourceManager& self = of(cinfo);
    self.m_source.next_input_byte = self.m_buffer;
    self.m_source.bytes_in_buffer = 0;
}

boolean JPGSourceManager::fillInputBuffer(j_decompress_ptr cinfo)
{
    JPGSourceManager& self = of(cinfo);
    const std::size_t got = self.m_stream->readRaw(self.m_buffer, kBufferSize);
    if (got == 0)
        return FALSE;
    self.m_source.next_input_byte = self.m_buffer;
    self.m_source.bytes_in_buffer = got;
    return TRUE;
}

void JPGSourceManager::skipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    JPGSourceManager& self = of(cinfo);
    const auto wanted = static_cast<std::size_t>(count);
    if (wanted <= self.m_source.bytes_in_buffer) {
        self.m_source.next_input_byte += wanted;
        self.m_source.bytes_in_buffer -= wanted;
        return;
    }
    const std::size_t rest = wanted - self.m_source.bytes_in_buffer;
    self.m_source.next_input_byte = self.m_buffer;
    self.m_source.bytes_in_buffer = 0;
    // A seek past the end leaves nothing to read, and the next fill
    // suspends the decoder.
    if (GP::IStorage* storage = self.m_stream->getStorage())
        storage->seek64(static_cast<long long>(rest), GP::IStorage::eSeekFromCurrent);
}

void JPGSourceManager::termSource(j_decompress_ptr) {}

} // namespace QV::UIA
