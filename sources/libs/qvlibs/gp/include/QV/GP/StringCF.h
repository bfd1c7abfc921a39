#pragma once

#include <QV/GP/CFString.h>

#include <string>

namespace QV::GP {

// The UTF-8 text of a platform string, taken at construction. A null
// reference gives an empty string; unpaired surrogates are dropped.
class StringCF : public std::string
{
public:
    explicit StringCF(CFStringRef string);
};

} // namespace QV::GP
