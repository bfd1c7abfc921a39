// The picture readers against independent decoders of the same files:
// ImageMagick's for the pixels, Little CMS's jpgicc for colour-managed JPEG.
// Files are made at run time by ImageMagick where it can write them, else by
// libjpeg with the markers the test asks for.
#include "PictureFixtures.h"

#include <ChildProcess.h>
#include <TemporaryFolder.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace std::chrono_literals;
using QV::UIA::Picture;
using QV::UIA::Test::Bytes;
using QV::UIA::Test::load;
using QV::UIA::Test::pixelBytes;
using QV::UIA::Test::readFile;

namespace {

const std::filesystem::path kProfiles = "/usr/share/color/icc/ghostscript";

class PictureOracleTest : public ::testing::Test
{
protected:
    void run(const std::vector<std::string>& words)
    {
        const auto outcome = QV::TestSupport::runCommand(words, m_folder.path() / "log", 60s);
        ASSERT_EQ(outcome.exitCode, 0) << words[0] << ": " << outcome.output;
    }

    std::filesystem::path file(const std::string& name) const { return m_folder.path() / name; }

    // ImageMagick's decoding as 8-bit blue, green, red, alpha. It keeps a
    // TGA file's row order as an orientation tag, which -auto-orient applies.
    Bytes oracle(const std::filesystem::path& picture)
    {
        const auto out = file("oracle.bgra");
        run({"convert", picture.string(), "-auto-orient", "-depth", "8", "bgra:" + out.string()});
        return readFile(out);
    }

    // Loads the file and compares its pixels with what ImageMagick decodes
    // from reference, byte by byte within the tolerance.
    void expectLike(const std::filesystem::path& picture, const std::filesystem::path& reference, int tolerance,
                    bool alpha)
    {
        SCOPED_TRACE(picture.filename().string());
        Picture loaded;
        ASSERT_TRUE(load(loaded, readFile(picture)));
        EXPECT_EQ(loaded.getAlphaChannel(), alpha);
        const Bytes ours = pixelBytes(loaded);
        const Bytes theirs = oracle(reference);
        ASSERT_EQ(ours.size(), theirs.size());
        int worst = 0;
        std::size_t at = 0;
        for (std::size_t i = 0; i < ours.size(); ++i)
            if (std::abs(int(ours[i]) - int(theirs[i])) > worst) {
                worst = std::abs(int(ours[i]) - int(theirs[i]));
                at = i;
            }
        EXPECT_LE(worst, tolerance) << "at pixel " << at / 4 << " byte " << at % 4;
    }

    QV::TestSupport::TemporaryFolder m_folder{"picture-oracle"};
};

struct PNGCase
{
    const char* name;
    std::vector<std::string> options; // between the source and the output
    int depth;
    int colourType;
    bool interlaced;
    bool transparency;
    bool alpha;
};

TEST_F(PictureOracleTest, PNGOfEveryColourTypeAndDepth)
{
    const std::string fade = "-alpha set -channel A -fx i/w +channel";
    const std::string hole = "-fill 'rgb(1,2,3)' -draw 'rectangle 5,5 20,20' -transparent 'rgb(1,2,3)'";
    const std::vector<std::pair<std::string, PNGCase>> cases = {
        {"-colorspace Gray -define png:color-type=0 -define png:bit-depth=1", {"grey1", {}, 1, 0, false, false, false}},
        {"-colorspace Gray -define png:color-type=0 -define png:bit-depth=2", {"grey2", {}, 2, 0, false, false, false}},
        {"-colorspace Gray -define png:color-type=0 -define png:bit-depth=4", {"grey4", {}, 4, 0, false, false, false}},
        {"-colorspace Gray -define png:color-type=0", {"grey8", {}, 8, 0, false, false, false}},
        {"-colorspace Gray -depth 16 -define png:color-type=0 -define png:bit-depth=16",
         {"grey16", {}, 16, 0, false, false, false}},
        {"-colorspace Gray -fill black -draw 'rectangle 5,5 20,20' -transparent black -define png:color-type=0",
         {"grey8-trns", {}, 8, 0, false, true, true}},
        {"-colorspace Gray -fill black -draw 'rectangle 5,5 20,20' -transparent black -depth 16 "
         "-define png:color-type=0 -define png:bit-depth=16",
         {"grey16-trns", {}, 16, 0, false, true, true}},
        {"-define png:color-type=2", {"rgb8", {}, 8, 2, false, false, false}},
        {"-depth 16 -define png:color-type=2 -define png:bit-depth=16", {"rgb16", {}, 16, 2, false, false, false}},
        {"-interlace PNG -define png:color-type=2", {"rgb8-interlaced", {}, 8, 2, true, false, false}},
        {hole + " -define png:color-type=2", {"rgb8-trns", {}, 8, 2, false, true, true}},
        {hole + " -depth 16 -define png:color-type=2 -define png:bit-depth=16", {"rgb16-trns", {}, 16, 2, false, true, true}},
        {"-colors 16 -define png:bit-depth=4", {"palette4", {"PNG8"}, 4, 3, false, false, false}},
        {"", {"palette8", {"PNG8"}, 8, 3, false, false, false}},
        {hole + " -colors 200", {"palette8-trns", {"PNG8"}, 8, 3, false, true, true}},
        {"-colorspace Gray " + fade + " -define png:color-type=4", {"grey-alpha8", {}, 8, 4, false, false, true}},
        {"-colorspace Gray " + fade + " -depth 16 -define png:color-type=4 -define png:bit-depth=16",
         {"grey-alpha16", {}, 16, 4, false, false, true}},
        {fade, {"rgba8", {"PNG32"}, 8, 6, false, false, true}},
        {fade + " -depth 16", {"rgba16", {"PNG64"}, 16, 6, false, false, true}},
        {"-interlace PNG " + fade, {"rgba8-interlaced", {"PNG32"}, 8, 6, true, false, true}},
        {"-alpha set", {"rgba8-opaque", {"PNG32"}, 8, 6, false, false, false}},
    };
    for (const auto& [options, expected] : cases) {
        const auto path = file(std::string(expected.name) + ".png");
        const std::string prefix = expected.options.empty() ? "" : expected.options[0] + ":";
        run({"sh", "-c", "convert rose: " + options + " -strip " + prefix + path.string()});
        const Bytes bytes = readFile(path);
        // The file must be what the case is about, or the comparison says
        // nothing about that colour type.
        ASSERT_GT(bytes.size(), 29u);
        ASSERT_EQ(bytes[24], expected.depth) << expected.name;
        ASSERT_EQ(bytes[25], expected.colourType) << expected.name;
        ASSERT_EQ(bytes[28], expected.interlaced ? 1 : 0) << expected.name;
        ASSERT_EQ(std::search(bytes.begin(), bytes.end(), "tRNS", "tRNS" + 4) != bytes.end(), expected.transparency)
            << expected.name;
        expectLike(path, path, expected.depth == 16 ? 1 : 0, expected.alpha);
    }
}

TEST_F(PictureOracleTest, JPEGBaselineProgressiveGreyAndCMYK)
{
    const std::vector<std::tuple<std::string, std::string, int>> cases = {
        {"baseline", "-quality 90", 1},
        {"progressive", "-quality 85 -interlace JPEG", 1},
        {"grey", "-colorspace Gray", 1},
        {"cmyk", "-colorspace CMYK", 2},
    };
    for (const auto& [name, options, tolerance] : cases) {
        const auto path = file(name + ".jpg");
        run({"sh", "-c", "convert rose: -resize 200% " + options + " " + path.string()});
        expectLike(path, path, tolerance, false);
    }
}

TEST_F(PictureOracleTest, JPEGProfilesAreAppliedAsLittleCMSDoes)
{
    if (!std::filesystem::exists(kProfiles / "a98.icc"))
        GTEST_SKIP() << "the ICC profiles of libgs-common are not installed";
    const int width = 64, height = 48;
    const std::vector<std::tuple<std::string, J_COLOR_SPACE, int, std::string>> cases = {
        {"rgb", JCS_RGB, 3, "a98.icc"},
        {"cmyk", JCS_CMYK, 4, "default_cmyk.icc"},
    };
    for (const auto& [name, space, components, profileName] : cases) {
        const Bytes profile = readFile(kProfiles / profileName);
        const auto path = file(name + "-profile.jpg");
        QV::UIA::Test::writeFile(path, QV::UIA::Test::writeJPEG(width, height, space,
                                                                QV::UIA::Test::patchSamples(width, height, components),
                                                                QV::UIA::Test::iccMarkers(profile, 3)));
        const auto converted = file(name + "-srgb.jpg");
        run({"jpgicc", "-q100", path.string(), converted.string()});
        expectLike(path, converted, 2, false);
    }
}

TEST_F(PictureOracleTest, TGAUncompressedAndRunLength)
{
    const std::string fade = "-alpha set -channel A -fx i/w +channel";
    const std::vector<std::tuple<std::string, std::string, int, int, bool>> cases = {
        {"rgb", "", 2, 24, false},
        {"rgba", fade, 2, 32, true},
        {"rgb-rle", "-compress RLE", 10, 24, false},
        {"rgba-rle", fade + " -compress RLE", 10, 32, true},
        {"rgb-top-first", "-orient TopLeft", 2, 24, false},
    };
    for (const auto& [name, options, type, depth, alpha] : cases) {
        const auto path = file(name + ".tga");
        run({"sh", "-c", "convert rose: " + options + " " + path.string()});
        const Bytes bytes = readFile(path);
        ASSERT_GT(bytes.size(), 18u);
        ASSERT_EQ(bytes[2], type) << name;
        ASSERT_EQ(bytes[16], depth) << name;
        expectLike(path, path, 0, alpha);
    }
}

} // namespace
