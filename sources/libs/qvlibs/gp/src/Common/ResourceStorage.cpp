#include <QV/GP/ResourceStorage.h>

#include <QV/GP/compiled_resources.h>

#include <cstdio>
#include <exception>
#include <string>

namespace QV::GP {

namespace {

void reportUnresolved(const std::string& what)
{
    std::fprintf(stderr, "cannot resolve resource: %s\n", what.c_str());
}

} // namespace

bool ResourceStorage::open(const std::uint8_t* data, std::uint64_t size)
{
    if (data == nullptr || size == 0)
        return false;
    m_inner = std::make_unique<MemoryStorage>();
    m_inner->init(eAccessRead, static_cast<const void*>(data), size);
    m_accessMode = eAccessRead;
    m_state = eStateOpen;
    return true;
}

bool ResourceStorage::init(CFBundleRef, int id, const char* type)
{
    close();
    const std::string typeText = type != nullptr ? type : "";
    try
    {
        const qv::compiled_resources::data data =
            qv::compiled_resources::resolve_resource_data(qv::symbol(typeText), static_cast<unsigned int>(id));
        return open(data.data(), data.size());
    }
    catch (const std::exception&)
    {
        reportUnresolved(typeText + " " + std::to_string(id));
        return false;
    }
}

bool ResourceStorage::init(CFBundleRef, const char* name, const char* type)
{
    close();
    const std::string nameText = name != nullptr ? name : "";
    try
    {
        const qv::compiled_resources::data data =
            qv::compiled_resources::resolve_resource_data(qv::symbol(nameText));
        return open(data.data(), data.size());
    }
    catch (const std::exception&)
    {
        reportUnresolved(nameText);
        return false;
    }
}

void ResourceStorage::close()
{
    m_inner.reset();
    m_accessMode = eAccessNone;
    m_state = eStateClosed;
}

std::size_t ResourceStorage::read(void* buffer, std::size_t count)
{
    if (m_inner == nullptr || !acceptsTransfer())
        return 0;
    const std::size_t got = m_inner->read(buffer, count);
    m_state = m_inner->getState();
    return got;
}

std::size_t ResourceStorage::write(const void* buffer, std::size_t count)
{
    if (m_inner == nullptr || !acceptsTransfer())
        return 0;
    const std::size_t written = m_inner->write(buffer, count);
    m_state = m_inner->getState();
    return written;
}

long long ResourceStorage::getPos64() const
{
    return m_inner != nullptr && isOpen() ? m_inner->getPos64() : -1;
}

bool ResourceStorage::seek64(long long offset, eSeekMode mode)
{
    if (m_inner == nullptr)
        return false;
    if (mode == eSeekFromCurrent && !acceptsTransfer())
        return false;
    m_inner->seek64(offset, mode);
    m_state = m_inner->getState();
    return acceptsTransfer();
}

} // namespace QV::GP
