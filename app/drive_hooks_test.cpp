#include "app/drive_hooks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/simulated_machine.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

class DriveHooksTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    machine = SimulatedMachine::Load(std::string(DS_SOURCE_DIR) + "/data/sim/demo", &message);
    ASSERT_NE(machine, nullptr) << message;
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data", home.path() + "data",
                          std::filesystem::copy_options::recursive);
    dialog = std::make_unique<MainDialog>(home.path(), &shell);
    WireDriveHooks(*dialog, platform, *machine);
    std::lock_guard<std::mutex> lock(dialog->mutex);
    dialog->peCycleLimit = 4321;
    platform.refreshDriveList(*dialog);
  }

  int IndexOfModel(const std::string& prefix) {
    for (std::size_t i = 0; i < dialog->drives.size(); ++i) {
      if (dialog->drives[i].model.rfind(prefix, 0) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }

  TempFolder home;
  ScriptedShell shell;
  std::unique_ptr<SimulatedMachine> machine;
  std::unique_ptr<MainDialog> dialog;
  StartupPlatform platform;
};

TEST_F(DriveHooksTest, KeepsOnlyAtaAndSataDisks) {
  ASSERT_GT(dialog->driveCount, 0);
  EXPECT_EQ(dialog->drives.size(), static_cast<std::size_t>(dialog->driveCount));
  EXPECT_EQ(dialog->driveIndexMap.size(), dialog->drives.size());
  EXPECT_GT(dialog->enumeratedCount, dialog->driveCount);  // USB stick and NVMe left out
  for (const DriveRecord& drive : dialog->drives) {
    EXPECT_TRUE(drive.busType == kBusTypeAta || drive.busType == kBusTypeSata) << drive.model;
  }
  EXPECT_EQ(dialog->smart.peCycleLimit, 4321);
}

TEST_F(DriveHooksTest, SeriesMakersTestAndReadFollowTheSelectedDisk) {
  int maker = IndexOfModel("QRB");
  int other = -1;
  for (std::size_t i = 0; i < dialog->drives.size(); ++i) {
    if (dialog->drives[i].model.rfind("QR", 0) != 0)
      other = static_cast<int>(i);
  }
  ASSERT_GE(maker, 0);
  ASSERT_GE(other, 0);
  std::lock_guard<std::mutex> lock(dialog->mutex);
  dialog->display.selectedDisk = maker;
  dialog->hooks.detectModelSeries(*dialog);
  EXPECT_EQ(dialog->modelSeries, 1);  // an X52 model
  EXPECT_TRUE(dialog->hooks.isMakersDisk(*dialog));
  dialog->hooks.loadSmartDescriptions(*dialog);
  EXPECT_FALSE(dialog->attributeTable.empty());
  dialog->hooks.readSelectedDrive(*dialog);
  EXPECT_GT(dialog->smart.attributeCount, 0);

  dialog->display.selectedDisk = other;
  EXPECT_FALSE(dialog->hooks.isMakersDisk(*dialog));
  dialog->internalMode = 1;
  EXPECT_TRUE(dialog->hooks.isMakersDisk(*dialog));

  dialog->display.selectedDisk = 99;  // out of range: no drive, nothing read
  EXPECT_EQ(SelectedDrive(*dialog), nullptr);
  EXPECT_EQ(dialog->hooks.selectedFileSystems(*dialog), "");
  dialog->hooks.readSelectedDrive(*dialog);
}

}  // namespace
}  // namespace ds
