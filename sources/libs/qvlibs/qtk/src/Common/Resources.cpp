#include "BundleFolders.h"

#include <QV/GP/FileName.h>
#include <QV/GP/FileStream.h>
#include <QV/QTK/Resources.h>
#include <QV/UIA/Font.h>
#include <QV/UIA/FontEngine.h>
#include <QV/UIA/Picture.h>

#include <boost/filesystem/path.hpp>

#include <map>
#include <system_error>
#include <utility>

namespace QV::QTK {

namespace {

// The built-in font is the compiled resource of this type and id.
constexpr std::uint32_t kDefaultFontResourceId = 1;

struct State {
    bool skinSearch = false;
    bool foldersKnown = false;
    std::filesystem::path bundle;
    std::filesystem::path resources;
    std::map<std::string, std::shared_ptr<const UIA::Picture>, std::less<>> pictures;
    std::map<std::pair<std::string, int>, std::shared_ptr<const UIA::Font>> fonts;
};

// Never destroyed: a program that exits from inside its run loop (the X
// server went away) shuts the libraries down from the module's destructor,
// after function-local statics constructed later than the module are gone.
State& state()
{
    static State* s = new State;
    return *s;
}

void knowFolders()
{
    State& s = state();
    if (s.foldersKnown)
        return;
    DETAIL::getMainBundleFolders(s.bundle, s.resources);
    s.foldersKnown = true;
}

bool isPlainName(std::string_view name) noexcept
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool isFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool openFile(GP::FileStream& stream, const std::filesystem::path& path)
{
    const GP::FileName name{boost::filesystem::path(path.string())};
    return stream.getFileStorage().open(name, GP::IStorage::eAccessRead);
}

} // namespace

void Resources::setSkinSearch(bool on) noexcept
{
    state().skinSearch = on;
}

bool Resources::isSkinSearch() noexcept
{
    return state().skinSearch;
}

void Resources::setBundleFolders(const std::filesystem::path& bundle, const std::filesystem::path& resources)
{
    State& s = state();
    s.bundle = bundle;
    s.resources = resources;
    s.foldersKnown = true;
}

std::optional<std::filesystem::path> Resources::find(std::string_view type, std::string_view name)
{
    if (!isPlainName(type) || !isPlainName(name))
        return std::nullopt;
    knowFolders();
    const State& s = state();
    std::vector<std::filesystem::path> folders;
    if (s.skinSearch) {
        if (!s.bundle.empty())
            folders.push_back(s.bundle.parent_path() / "skin");
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (!error)
            folders.push_back(current / "skin");
    }
    if (!s.resources.empty())
        folders.push_back(s.resources);
    for (const std::filesystem::path& folder : folders) {
        std::filesystem::path candidate = folder / type / name;
        if (isFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::shared_ptr<const UIA::Picture> Resources::getPicture(std::string_view name)
{
    State& s = state();
    if (const auto it = s.pictures.find(name); it != s.pictures.end())
        return it->second;
    const std::optional<std::filesystem::path> path = find(kPictures, name);
    if (!path)
        return nullptr;
    GP::FileStream stream;
    if (!openFile(stream, *path))
        return nullptr;
    auto picture = std::make_shared<UIA::Picture>();
    if (!picture->readDetect(stream, UIA::PictureProperties::eVertical, true))
        return nullptr;
    s.pictures.emplace(std::string(name), picture);
    return picture;
}

std::shared_ptr<const UIA::Font> Resources::getFont(std::string_view name, int pixelSize)
{
    if (pixelSize <= 0)
        return nullptr;
    State& s = state();
    auto key = std::make_pair(std::string(name), pixelSize);
    if (const auto it = s.fonts.find(key); it != s.fonts.end())
        return it->second;

    UIA::Font::CreateData data;
    data.pixelSize = pixelSize;
    data.engine = UIA::getSystemFontEngine().handle();
    std::shared_ptr<UIA::Font> font;
    if (name.empty()) {
        data.resourceId = kDefaultFontResourceId;
        font = std::make_shared<UIA::Font>(data);
    } else {
        const std::optional<std::filesystem::path> path = find(kFonts, name);
        if (!path)
            return nullptr;
        // The resolved path keeps fonts of one name in two folders apart.
        data.name = path->string();
        // The font engine keeps a file once for all its sizes, and maps it
        // rather than reading it: another size costs an open, not a read.
        GP::FileStream stream;
        if (!openFile(stream, *path))
            return nullptr;
        font = std::make_shared<UIA::Font>(stream, data);
    }
    if (font->getRenderCache() == nullptr)
        return nullptr;
    s.fonts.emplace(std::move(key), font);
    return font;
}

void Resources::clearCache()
{
    State& s = state();
    s.pictures.clear();
    s.fonts.clear();
    s.bundle.clear();
    s.resources.clear();
    s.foldersKnown = false;
}

} // namespace QV::QTK
