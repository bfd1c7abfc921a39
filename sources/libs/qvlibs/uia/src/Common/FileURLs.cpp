#include "FileURLs.h"

#include <QV/GP/FileName.h>
#include <QV/GP/URI.h>

#include <boost/filesystem/path.hpp>

namespace QV::UIA::DETAIL {

std::string fileURLFromPath(const std::string& path)
{
    if (path.empty())
        return {};
    return GP::URI(GP::FileName(boost::filesystem::path(path))).get();
}

std::string pathFromFileURL(const std::string& url)
{
    GP::URI uri;
    GP::FileName file;
    if (!uri.createCanonicalLocation(GP::CharSequence<char>(url)) || !uri.getFileName(file))
        return {};
    return file.getFilesystemPath();
}

} // namespace QV::UIA::DETAIL
