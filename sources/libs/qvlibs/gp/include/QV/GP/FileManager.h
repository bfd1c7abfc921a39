#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>

namespace QV::GP {

class FileName;

// File-system questions asked by file name.
//
// A name with a subpath ("pack.bin<icon.png") asks about the item inside
// its container file: whether the container holds it, and its size.
//
// Thread affinity: any thread; nothing here takes a lock.
class FileManager
{
public:
    FileManager() = delete;

    // An existing regular file; an existing directory only when the name is
    // a file name (state 1), as a package is.
    static bool existsFile(const FileName& name);
    static bool existsDir(const FileName& name);
    // Bytes, at most 0x7fffffffffffffff; 0 when there is no such file.
    static std::uint64_t getFileSize(const FileName& name);
    // Creates an empty file for a file name that carries a type; true at once
    // when it exists. Type and creator codes have no place on this platform's
    // file systems and are not kept.
    static bool createFile(const FileName& name);
    // The process's current directory as a directory name.
    static bool getCurDir(FileName& name);
};

// The folder of the application bundle that holds the running program (the
// GNUstep "<name>.app" folder), worked out once; empty when the program does
// not run from a bundle.
const boost::filesystem::path& getCurrentBundlePath();

} // namespace QV::GP
