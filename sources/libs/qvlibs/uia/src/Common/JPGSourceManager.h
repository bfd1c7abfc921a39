#pragma once

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace QV::GP {
class Stream;
}

namespace QV::UIA {

// libjpeg's data source over a stream, through a small buffer. When the
// stream has nothing more to give the source suspends rather than inventing
// an end marker, so that a file cut short fails to load instead of loading
// with its lower part grey.
class JPGSourceManager
{
public:
    static constexpr std::size_t kBufferSize = 512;

    // Installs the source on the decompressor; the manager must outlive it.
    void attach(j_decompress_ptr cinfo, GP::Stream& stream) noexcept;

private:
    static void initSource(j_decompress_ptr cinfo);
    static boolean fillInputBuffer(j_decompress_ptr cinfo);
    static void skipInputData(j_decompress_ptr cinfo, long count);
    static void termSource(j_decompress_ptr cinfo);

    static JPGSourceManager& of(j_decompress_ptr cinfo) noexcept;

    // First, so that libjpeg's pointer to it is a pointer to the manager.
    jpeg_source_mgr m_source{};
    GP::Stream* m_stream = nullptr;
    JOCTET m_buffer[kBufferSize]{};
};

} // namespace QV::UIA
