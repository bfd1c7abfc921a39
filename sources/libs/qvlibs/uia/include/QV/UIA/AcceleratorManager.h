#pragma once

#include <map>
#include <memory>

namespace QV::UIA {

// Keyboard shortcut words (key code OR modifier bits) to command ids.
class AcceleratorManagerImpl
{
public:
    virtual ~AcceleratorManagerImpl() = default;
    // Replaces an earlier command of the same shortcut.
    virtual void add(unsigned shortcut, int command) = 0;
    virtual void removeAll() = 0;
    // The command of the exact shortcut, else of the shortcut with bits
    // 0xfe0000 cleared, else 0.
    virtual int getCommand(unsigned shortcut) const = 0;
};

class AcceleratorManagerImplMap : public AcceleratorManagerImpl
{
public:
    void add(unsigned shortcut, int command) override;
    void removeAll() override;
    int getCommand(unsigned shortcut) const override;

private:
    std::map<unsigned, int> m_map;
};

// The application's accelerators. Thread affinity: main thread.
class AcceleratorManager
{
public:
    AcceleratorManager();
    AcceleratorManagerImpl& impl() noexcept { return *m_impl; }
    const AcceleratorManagerImpl& impl() const noexcept { return *m_impl; }

private:
    std::unique_ptr<AcceleratorManagerImpl> m_impl;
};

} // namespace QV::UIA
