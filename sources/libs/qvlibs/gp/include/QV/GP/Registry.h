#pragma once

#include <memory>
#include <string>
#include <vector>

namespace QV::GP {

// A facade over a settings store that a host may install. Nothing in this
// system installs one, so get() answers false and the caller falls back to
// its own source.
//
// Thread affinity: any thread; get and shut-down are serialised on one
// recursive lock.
class Registry
{
public:
    Registry() = delete;

    enum eGetMode : int {
        kGetValue = 1, // the key's single value
        kGetList = 2,  // every value of a list-valued key, in order
    };

    class Impl
    {
    public:
        virtual ~Impl() = default;
        virtual bool get(const char* key, std::vector<std::string>& values, eGetMode mode) = 0;
        virtual void shutDown() = 0;
    };

    // False, with the list unchanged, when no store is installed or the store
    // does not know the key.
    static bool get(const char* key, std::vector<std::string>& values, eGetMode mode);

    // Replaces the store (shutting the previous one down); null removes it.
    static void setImpl(std::unique_ptr<Impl> impl);

    // Shuts the store down and removes it; answers true.
    static bool deInit();
};

} // namespace QV::GP
