#include <QV/GP/URI.h>

#include <QV/GP/FileName.h>

#include <unistd.h>

#include <cstring>
#include <vector>

namespace QV::GP {

namespace {

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

bool isSubDelimiter(unsigned char c)
{
    return std::strchr("!$&'()*+,;=", c) != nullptr && c != 0;
}

int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentEncodedPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path)
    {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c) || isSubDelimiter(c) || c == '/' || c == ':' || c == '@')
        {
            out += ch;
        }
        else
        {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

// False for a malformed escape or an escaped NUL, which no path can hold.
bool percentDecoded(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = hexValue(static_cast<unsigned char>(text[i + 1]));
        const int low = hexValue(static_cast<unsigned char>(text[i + 2]));
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool startsWithIgnoringCase(const std::string& text, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    if (text.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i)
    {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

URI::URI(const FileName& name)
{
    createFileLocation(name);
}

bool URI::createFileLocation(const FileName& name)
{
    m_url.clear();
    std::string path = name.getSystemPath(true, true);
    if (path.empty())
        return false;
    if (path.front() != '/')
    {
        std::vector<char> buffer(4096);
        if (::getcwd(buffer.data(), buffer.size()) == nullptr)
            return false;
        std::string cwd = buffer.data();
        if (cwd.back() != '/')
            cwd += '/';
        path = cwd + path;
    }
    m_url = std::string(kFileScheme) + percentEncodedPath(path);
    return true;
}

bool URI::createCanonicalLocation(const CharSequence<char>& text)
{
    m_url.clear();
    if (text.data() == nullptr || text.length() == 0)
        return false;
    const std::string candidate(text.data(), text.length());
    for (std::size_t i = 0; i < candidate.size(); ++i)
    {
        const auto c = static_cast<unsigned char>(candidate[i]);
        if (c == '%')
        {
            if (i + 2 >= candidate.size() || hexValue(static_cast<unsigned char>(candidate[i + 1])) < 0
                || hexValue(static_cast<unsigned char>(candidate[i + 2])) < 0)
                return false;
            i += 2;
            continue;
        }
        if (!isUnreserved(c) && !isSubDelimiter(c) && std::strchr(":/?#[]@", c) == nullptr)
            return false;
    }
    m_url = candidate;
    return true;
}

bool URI::getFileNameString(std::string& path) const
{
    path.clear();
    if (!startsWithIgnoringCase(m_url, "file:"))
        return false;
    std::string rest = m_url.substr(5);
    if (rest.compare(0, 2, "//") == 0)
    {
        // Only this machine's files have a path here.
        const std::size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && !startsWithIgnoringCase(host, "localhost"))
            return false;
        if (!host.empty() && host.size() != std::strlen("localhost"))
            return false;
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string posix;
    if (rest.empty() || rest.front() != '/' || !percentDecoded(rest, posix))
        return false;
    path = FileName::POSIX2HFSPath(posix);
    return !path.empty();
}

bool URI::getFileName(FileName& name) const
{
    std::string path;
    if (!getFileNameString(path))
        return false;
    name = FileName(path);
    return true;
}

} // namespace QV::GP
