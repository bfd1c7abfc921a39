#include "FirmwareImages.h"

#include <SimulatedKeyboard.h>
#include <Sha256.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

using QV::FW::arrFW;

TEST(FirmwareImages, TableRowsNameTheirFamilyAndImages) {
  static_assert(sizeof(QV::FW::Keyboard25Main) == 93184 && sizeof(QV::FW::Keyboard25Second) == 17192);
  static_assert(sizeof(QV::FW::Keyboard49Main) == 94720 && sizeof(QV::FW::Keyboard49Second) == 17192);
  static_assert(sizeof(QV::FW::Keyboard61Main) == 95488 && sizeof(QV::FW::Keyboard61Second) == 17192);
  static_assert(sizeof(QV::FW::Keyboard88Main) == 96512 && sizeof(QV::FW::Keyboard88Second) == 17300);

  const QV::FW::FirmwareImageEntry expected[4] = {
      {0x1340, QV::FW::Keyboard25Main, 93184, QV::FW::Keyboard25Second, 17192},
      {0x1350, QV::FW::Keyboard49Main, 94720, QV::FW::Keyboard49Second, 17192},
      {0x1360, QV::FW::Keyboard61Main, 95488, QV::FW::Keyboard61Second, 17192},
      {0x1410, QV::FW::Keyboard88Main, 96512, QV::FW::Keyboard88Second, 17300},
  };
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(arrFW[i].productId, expected[i].productId);
    EXPECT_EQ(arrFW[i].mainImage, expected[i].mainImage);
    EXPECT_EQ(arrFW[i].mainImageSize, expected[i].mainImageSize);
    EXPECT_EQ(arrFW[i].secondImage, expected[i].secondImage);
    EXPECT_EQ(arrFW[i].secondImageSize, expected[i].secondImageSize);
  }
}

std::string digest(const std::uint8_t* image, std::uint64_t size) {
  return simkbd::Sha256::hex(std::span<const std::uint8_t>(image, size));
}

// No two images are alike, so a keyboard that received another family's image
// shows it in its report.
TEST(FirmwareImages, ImagesAreDistinct) {
  std::vector<std::string> digests;
  for (const auto& row : arrFW) {
    digests.push_back(digest(row.mainImage, row.mainImageSize));
    digests.push_back(digest(row.secondImage, row.secondImageSize));
  }
  std::sort(digests.begin(), digests.end());
  EXPECT_EQ(std::adjacent_find(digests.begin(), digests.end()), digests.end());
}

// The placeholders are the same in every build, and whether the build says
// it carries them is pinned against the images themselves: the refusal to
// write them to a real keyboard, and the tests that check it, rely on it.
TEST(FirmwareImages, PlaceholdersAreKnownByTheirDigests) {
  // Main and second image of the 25, 49, 61 and 88 key families.
  const char* const placeholders[8] = {
      "d172dd94dcc2357d681e631ffc0373b9907d4c43d5cd26047dc69fc96d54a98b",
      "9c018e7e78d982df4e509ade78c83462321054527c36d065dc638933ebc8e1da",
      "cc9a3bbbe0f448644224bdc30c07230cd78d40cebd392b7203a29976baf1cc94",
      "c082f170fcd1ed5b553e95cd0a7f09780fa812ff0f6eaad5bfc5c4d94aa8dba1",
      "cda076a246fc90718870a8284cf394ca60b56975ff55571f63238e0b2d327e20",
      "6524a93e851bcbe8870c5df6519b7c21357b89c83d2734d5a274033072327218",
      "3f35912c29b0738c4ffc288a77968a7918ca53df8d3be7905a8095c178efcc3d",
      "05ed4e5285dfc143268d0de93f56bced52f9f371fda74fb637b38d4eb8074704",
  };
  int matching = 0;
  for (int i = 0; i < 4; ++i) {
    matching += digest(arrFW[i].mainImage, arrFW[i].mainImageSize) == placeholders[2 * i];
    matching += digest(arrFW[i].secondImage, arrFW[i].secondImageSize) == placeholders[2 * i + 1];
  }
  EXPECT_EQ(matching, QV::FW::imagesArePlaceholders() ? 8 : 0);
}

QV::QDV2::USBDeviceInfo withManufacturer(std::string manufacturer) {
  QV::QDV2::USBDeviceInfo info;
  info.vendorId = 0x17CC;
  info.productId = 0x1350;
  info.manufacturer = std::move(manufacturer);
  return info;
}

TEST(FirmwareImages, OnlyTheSimulatedKeyboardCountsAsSimulated) {
  const simkbd::SimulatedKeyboard keyboard{simkbd::KeyboardConfig{}};
  EXPECT_TRUE(QV::FW::isSimulatedKeyboard(withManufacturer(keyboard.manufacturer())));
  EXPECT_TRUE(QV::FW::isSimulatedKeyboard(withManufacturer("Anyone (simulated)")));

  EXPECT_FALSE(QV::FW::isSimulatedKeyboard(withManufacturer("ORVEL TARSIN")));
  EXPECT_FALSE(QV::FW::isSimulatedKeyboard(withManufacturer("")));
  EXPECT_FALSE(QV::FW::isSimulatedKeyboard(withManufacturer("(simulated)")));
  EXPECT_FALSE(QV::FW::isSimulatedKeyboard(withManufacturer("ORVEL TARSIN (simulated) ")));
  EXPECT_FALSE(QV::FW::isSimulatedKeyboard(withManufacturer("ORVEL TARSIN (Simulated)")));
  EXPECT_FALSE(QV::FW::isSimulatedKeyboard(withManufacturer("ORVEL (simulated) TARSIN")));
}

}  // namespace
