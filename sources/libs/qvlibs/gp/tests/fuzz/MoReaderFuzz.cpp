// Fuzz target for the catalogue reader: any bytes must either load or be
// refused, without reading outside the data. Built by clang with libFuzzer
// on request, and replayed over its corpus by an ordinary test.
#include <QV/GP/GetTextLoader.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::map<std::string, std::string> read;
    std::string why;
    const bool loaded = QV::GP::GetTextLoader::loadDomain(read, data, size, &why);
    // A refused catalogue leaves nothing behind and always says why.
    if (!loaded && (!read.empty() || why.empty()))
        __builtin_trap();
    return 0;
}

#ifdef QV_FUZZ_STANDALONE
// The libFuzzer build links the reader's source alone, without the parts that
// find the application bundle and open files in it.
#include "Common/GetTextBundle.h"

namespace QV::GP {
std::string getCurrentDSOResourcePath()
{
    return {};
}
namespace DETAIL {
std::string chooseLocaleCode(const std::string&, const char*)
{
    return {};
}
bool loadLocaleDomainFrom(const std::string&, std::map<std::string, std::string>&, const char*, const char*)
{
    return false;
}
} // namespace DETAIL
} // namespace QV::GP
#endif
