// The wizard's widgets painted through a pane: labels with the built-in
// font, wrapping, button looks by state and bar pictures.
#include "ToolkitFixtures.h"

#include <QV/QTK/Bar.h>
#include <QV/QTK/Button.h>
#include <QV/QTK/Label.h>
#include <QV/QTK/MultilineLabel.h>
#include <QV/QTK/Resources.h>
#include <QV/UIA/Font.h>

#include <gtest/gtest.h>

namespace QV::QTK {
namespace {

using Testing::colourAt;

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kBlack = 0xFF000000u;

// The area of the picture's pixels that are not the background, or an empty
// rectangle.
GP::Rect inkBounds(const UIA::Picture& picture, std::uint32_t background)
{
    GP::Rect ink{picture.getWidth(), picture.getHeight(), 0, 0};
    for (int y = 0; y < picture.getHeight(); ++y) {
        for (int x = 0; x < picture.getWidth(); ++x) {
            if (colourAt(picture, x, y) == background)
                continue;
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
        }
    }
    return ink.isEmpty() ? GP::Rect{} : ink;
}

class WidgetsTest : public Testing::ToolkitTest
{
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        font = Resources::getFont("", 14);
        ASSERT_NE(font, nullptr) << "the built-in font";
        ASSERT_TRUE(picture.setSize(200, 60, true));
        pane.setSize(200, 60);
        pane.setBackground(kWhite);
        root = std::make_shared<Widget>();
        pane.setRoot(root);
    }

    void paint()
    {
        GP::Region painted;
        pane.paintInvalid(picture, painted);
    }

    std::shared_ptr<const UIA::Font> font;
    Pane pane;
    UIA::Picture picture;
    std::shared_ptr<Widget> root;
};

TEST_F(WidgetsTest, ALabelTooNarrowForItsTextIsCroppedInsideItsBounds)
{
    auto label = std::make_shared<Label>();
    label->setFont(font);
    label->setColour(kBlack);
    label->setText("FIRMWARE UPDATER FOR EVERY KEYBOARD SIZE");
    label->setBounds({20, 10, 100, 40});
    root->addChild(label);
    paint();
    const GP::Rect ink = inkBounds(picture, kWhite);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_TRUE((GP::Rect{20, 10, 100, 40}).contains(ink)) << ink.left << "," << ink.right;
    EXPECT_GT(ink.right, 85) << "cropped text still fills the label's width";

    // Right alignment of a short text ends at the right edge.
    label->setText("OK");
    label->setAlignment(UIA::Font::eAlignRight);
    picture.clear(kWhite);
    pane.invalidateAll();
    paint();
    const GP::Rect right = inkBounds(picture, kWhite);
    EXPECT_GE(right.right, 95);
    EXPECT_GT(right.left, 60);

    // Only the first line of a text with newlines is shown.
    label->setText("OK\nsecond line");
    label->setAlignment(UIA::Font::eAlignLeft);
    picture.clear(kWhite);
    pane.invalidateAll();
    paint();
    const GP::Rect first = inkBounds(picture, kWhite);
    EXPECT_LT(first.right - first.left, font->getStringWidth("OK x", -1));
}

TEST_F(WidgetsTest, MultilineLabelsBreakBetweenWordsThenBetweenCharacters)
{
    const int width = font->getStringWidth("update the", -1);
    EXPECT_EQ(MultilineLabel::wrap("update the keyboard now", *font, width),
              (std::vector<std::string>{"update the", "keyboard", "now"}));
    EXPECT_EQ(MultilineLabel::wrap("a\n\nb", *font, width), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(MultilineLabel::wrap("a b", *font, 0), (std::vector<std::string>{"a b"})) << "no width: no loop";

    // A long word of two-byte characters is broken on character boundaries
    // and every piece fits.
    std::string word;
    for (int i = 0; i < 30; ++i)
        word += "\xC3\xA9";
    const int narrow = font->getStringWidth("\xC3\xA9\xC3\xA9\xC3\xA9", -1);
    const auto pieces = MultilineLabel::wrap("x " + word, *font, narrow);
    ASSERT_GE(pieces.size(), 10u);
    std::string joined;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        EXPECT_LE(font->getStringWidth(pieces[i].c_str(), int(pieces[i].size())), narrow);
        EXPECT_EQ(pieces[i].size() % 2, 0u) << "cut inside a character";
        joined += pieces[i];
    }
    EXPECT_EQ(joined, word);

    // Painted lines stay inside the label.
    auto label = std::make_shared<MultilineLabel>();
    label->setFont(font);
    label->setText("update the keyboard now and keep it connected");
    label->setBounds({10, 5, 10 + width, 55});
    root->addChild(label);
    paint();
    const GP::Rect ink = inkBounds(picture, kWhite);
    EXPECT_TRUE((GP::Rect{10, 5, 10 + width, 55}).contains(ink));
    EXPECT_GT(ink.bottom - ink.top, font->getCharHeight()) << "more than one line";
}

TEST_F(WidgetsTest, AButtonShowsTheLookOfItsState)
{
    auto button = std::make_shared<Button>();
    button->setBounds({10, 10, 90, 40});
    button->setFont(font);
    button->setText("UPDATE");
    button->setLook(Button::eNormal, {0xFF0000A0u, kBlack, kWhite, nullptr});
    button->setLook(Button::eHover, {0xFF0000F0u, kBlack, kWhite, nullptr});
    button->setLook(Button::ePressed, {0xFF000050u, kBlack, kWhite, nullptr});
    root->addChild(button);
    int clicks = 0;
    button->clicked().connect([&](const ButtonImpl::tSignalData&) { ++clicks; });

    const auto look = [&] {
        paint();
        return colourAt(picture, 12, 12);
    };
    EXPECT_EQ(look(), 0xFF0000A0u);
    EXPECT_EQ(colourAt(picture, 10, 10), kBlack) << "border";
    pane.mouseMove({20, 20});
    EXPECT_EQ(look(), 0xFF0000F0u);
    pane.mouseDown({20, 20});
    EXPECT_EQ(look(), 0xFF000050u);
    pane.mouseUp({20, 20});
    EXPECT_EQ(look(), 0xFF0000F0u);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(inkBounds(picture, 0xFF0000F0u).isEmpty()) << "the text is drawn";

    // No disabled look of its own: the normal one, and no clicks.
    button->setEnabled(false);
    EXPECT_EQ(button->getState(), Button::eDisabled);
    EXPECT_EQ(look(), 0xFF0000A0u);
    pane.mouseDown({20, 20});
    pane.mouseUp({20, 20});
    EXPECT_EQ(clicks, 1);
}

TEST_F(WidgetsTest, ABarCentresAFixedPictureAndBlendsItsAlpha)
{
    auto icon = std::make_shared<UIA::Picture>();
    ASSERT_TRUE(icon->setSize(10, 6, true));
    icon->clear(0xFFFF0000u);
    icon->getRow(0)[0] = 0x00000000u;
    icon->setAlphaChannel(true);

    auto bar = std::make_shared<Bar>();
    bar->setColour(0xFF00FF00u);
    bar->setPicture(icon);
    bar->setBounds({0, 0, 50, 30});
    root->addChild(bar);
    paint();
    // Centred: (50 - 10) / 2 = 20, (30 - 6) / 2 = 12.
    EXPECT_EQ(colourAt(picture, 21, 13), 0xFFFF0000u);
    EXPECT_EQ(colourAt(picture, 20, 12), 0xFF00FF00u) << "a transparent pixel shows the bar";
    EXPECT_EQ(colourAt(picture, 19, 13), 0xFF00FF00u);
    EXPECT_EQ(colourAt(picture, 30, 17), 0xFF00FF00u);

    // A colour with alpha 0 leaves what is under the bar.
    bar->setPicture(nullptr);
    bar->setColour(0);
    paint();
    EXPECT_EQ(colourAt(picture, 21, 13), kWhite);
}

} // namespace
} // namespace QV::QTK
