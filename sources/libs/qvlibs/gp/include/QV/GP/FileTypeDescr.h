#pragma once

#include <QV/GP/FileTypeMacMagic.h>

#include <string>
#include <vector>

namespace QV::GP {

class FileTypeGroupDescr;

// One registered file type. Descriptions are owned by the file-type registry
// and live until it is shut down; everyone else holds plain pointers.
class FileTypeDescr
{
public:
    std::string m_name;
    std::string m_plural;
    // The group of this type alone, made together with it.
    FileTypeGroupDescr* m_ownGroup = nullptr;
    // Without the leading '.'; "*" stands for any extension.
    std::vector<std::string> m_extensions;
    std::vector<FileTypeMacMagic> m_macMagics;
};

// A named set of file types, as a file dialog offers them.
class FileTypeGroupDescr
{
public:
    std::string m_name;
    std::string m_plural;
    std::vector<const FileTypeDescr*> m_members;
};

} // namespace QV::GP
