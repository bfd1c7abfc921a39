#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace QV::GP {

// One text domain: the translations of one catalogue and the texts handed
// out so far.
//
// Texts are looked up by their content, never by the address of the key: a
// caller may pass a buffer it later fills with another text, and must still
// get the translation of what the buffer holds now.
//
// Thread affinity: any thread; get() serialises on the domain's own lock.
class GetTextDomain
{
public:
    GetTextDomain() = default;
    explicit GetTextDomain(std::map<std::string, std::string> translations);

    GetTextDomain(const GetTextDomain&) = delete;
    GetTextDomain& operator=(const GetTextDomain&) = delete;

    // The translation of key, or the key's own text when the domain has
    // none (a null key is taken as empty). The text lives as long as the
    // domain.
    const std::string& get(const char* key);

    std::size_t translationCount() const noexcept { return m_translations.size(); }

private:
    struct TextHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept
        {
            return std::hash<std::string_view>()(text);
        }
    };

    std::mutex m_mutex;
    // Every text handed out, by its key's text; the references given to
    // callers point into it, and its nodes never move.
    std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> m_cache;
    std::map<std::string, std::string, std::less<>> m_translations;
};

// The library's own domain ("lib"), read from the bundle's catalogue of the
// chosen locale on first use and kept until exit. Before a locale is chosen it
// is empty and every text translates to itself.
GetTextDomain& GetLibraryTextDomain();

} // namespace QV::GP
