#include <QV/UIA/AcceleratorManager.h>

namespace QV::UIA {

AcceleratorManager::AcceleratorManager() : m_impl(std::make_unique<AcceleratorManagerImplMap>())
{
}

void AcceleratorManagerImplMap::add(unsigned shortcut, int command)
{
    m_map[shortcut] = command;
}

void AcceleratorManagerImplMap::removeAll()
{
    m_map.clear();
}

int AcceleratorManagerImplMap::getCommand(unsigned shortcut) const
{
    auto it = m_map.find(shortcut);
    if (it == m_map.end())
        it = m_map.find(shortcut & ~0xfe0000u);
    return it == m_map.end() ? 0 : it->second;
}

} // namespace QV::UIA
