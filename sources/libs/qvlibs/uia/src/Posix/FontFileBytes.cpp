#include <QV/UIA/DETAIL/FontFileBytes.h>

#include <sys/mman.h>
#include <sys/stat.h>

#include <new>

namespace QV::UIA::DETAIL {

std::shared_ptr<const FontFileBytes> FontFileBytes::map(int descriptor)
{
    struct stat status {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
        static_cast<unsigned long long>(status.st_size) > kMostBytes)
        return nullptr;
    const auto size = static_cast<std::size_t>(status.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto* bytes = new (std::nothrow) FontFileBytes(static_cast<const unsigned char*>(mapped), size);
    if (bytes == nullptr) {
        ::munmap(mapped, size);
        return nullptr;
    }
    return std::shared_ptr<const FontFileBytes>(bytes);
}

FontFileBytes::~FontFileBytes()
{
    if (m_mapped != nullptr)
        ::munmap(const_cast<unsigned char*>(m_mapped), m_mappedSize);
}

} // namespace QV::UIA::DETAIL
