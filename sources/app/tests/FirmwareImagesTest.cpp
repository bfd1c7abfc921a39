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

TEST(FirmwareImages, PlaceholdersAreTheSameInEveryBuild) {
  if (!QV::FW::imagesArePlaceholders()) GTEST_SKIP() << "built with the real images";
  EXPECT_EQ(digest(QV::FW::Keyboard25Main, sizeof(QV::FW::Keyboard25Main)),
            "d172dd94dcc2357d681e631ffc0373b9907d4c43d5cd26047dc69fc96d54a98b");
  EXPECT_EQ(digest(QV::FW::Keyboard88Second, sizeof(QV::FW::Keyboard88Second)),
            "05ed4e5285dfc143268d0de93f56bced52f9f371fda74fb637b38d4eb8074704");
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
