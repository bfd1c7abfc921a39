#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace QV::UIA {
class Font;
class Picture;
} // namespace QV::UIA

namespace QV::QTK {

// Files of the user interface looked up by name in a type folder
// ("pictures", "fonts"): first in a "skin" folder beside the application
// bundle, then in a "skin" folder of the current directory (both only while
// the skin search is on), else in the bundle's resources folder. Pictures and
// fonts are loaded once and kept until clearCache.
//
// Thread affinity: main thread.
class Resources
{
public:
    Resources() = delete;

    static constexpr const char* kPictures = "pictures";
    static constexpr const char* kFonts = "fonts";

    static void setSkinSearch(bool on) noexcept;
    static bool isSkinSearch() noexcept;

    // The bundle folder and its resources folder; asked of the platform's
    // main bundle on first use unless set before.
    static void setBundleFolders(const std::filesystem::path& bundle, const std::filesystem::path& resources);

    // The file of the name in the type folder, or nothing. A name that is
    // empty or would leave the folder (a separator, "." or "..") is refused.
    static std::optional<std::filesystem::path> find(std::string_view type, std::string_view name);

    // The picture of the file (PNG, JPEG or TGA), or null when there is none
    // or it cannot be read.
    static std::shared_ptr<const UIA::Picture> getPicture(std::string_view name);
    // The font of the file at the pixel size; an empty name is the built-in
    // default font. Null when the file is missing or unreadable.
    static std::shared_ptr<const UIA::Font> getFont(std::string_view name, int pixelSize);

    // Forgets every loaded picture and font (those still held live on) and
    // the bundle folders.
    static void clearCache();
};

} // namespace QV::QTK
