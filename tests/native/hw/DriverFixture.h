// Set-up shared by the driver tests: a fresh simulated Windows, a program file that carries
// three distinct driver images after its own bytes, and DriverImageTable describing them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hw/DeviceDriver.h"
#include "sim/SimWindows.h"

class DriverFixture : public ::testing::Test {
 protected:
  static constexpr const char* kDir = "C:\\Program Files\\Morvane";
  static constexpr const char* kTemp = "C:\\WINDOWS\\TEMP\\";
  static constexpr const char* kSys = "C:\\Program Files\\Morvane\\cpuz.sys";
  static constexpr const char* kSys64 = "C:\\Program Files\\Morvane\\cpuz64.sys";
  static constexpr const char* kVxd = "C:\\Program Files\\Morvane\\cpuz.vxd";

  sim::ScopedSimWindows sim;
  sim::SimWindows& win = *sim;
  std::string program;  // the program file's bytes
  std::string vxdImage, sys32Image, sys64Image;

  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      saved_[i] = {DriverImageTable.images[i].offset, DriverImageTable.images[i].size};
    }
    // Sizes and fill differ, so that a wrong offset, size or image choice shows.
    vxdImage = Image("VXD", 3001, 'v');
    sys32Image = Image("SYS32", 2048, '3');
    sys64Image = Image("SYS64", 2560, '6');
    program = "MZ" + std::string(0x600 - 2, 'p');
    SetImage(kImageVxd, static_cast<std::uint32_t>(program.size()), vxdImage.size());
    program += vxdImage;
    SetImage(kImageNt32, static_cast<std::uint32_t>(program.size()), sys32Image.size());
    program += sys32Image;
    SetImage(kImageNt64, static_cast<std::uint32_t>(program.size()), sys64Image.size());
    program += sys64Image;
    win.fs.AddFile(win.fs.moduleFileName, program);
  }

  void TearDown() override {
    for (int i = 0; i < 3; ++i) {
      DriverImageTable.images[i].offset = saved_[i].offset;
      DriverImageTable.images[i].size = saved_[i].size;
    }
  }

  static void SetImage(DriverImage image, std::uint32_t offset, std::size_t size) {
    DriverImageTable.images[image].offset = offset;
    DriverImageTable.images[image].size = static_cast<std::uint32_t>(size);
  }

  static std::string Image(const std::string& name, std::size_t size, char fill) {
    std::string image = name + std::string(size - name.size() - 1, fill) + "E";
    return image;
  }

  // A driver object initialised as the start-up does it; *result receives Initialize's answer.
  std::unique_ptr<CDeviceDriver> Initialized(int* result = nullptr) {
    auto driver = std::make_unique<CDeviceDriver>();
    int ok = driver->Initialize(nullptr, "cpuz", "cpuz", 1);
    if (result != nullptr) *result = ok;
    return driver;
  }

  const sim::Machine::Service* Service() const { return win.machine.FindService("cpuz"); }

 private:
  DriverImageEntry saved_[3] = {};
};
