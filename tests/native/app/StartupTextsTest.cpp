// The texts and paths the start-up derives: the program folder and the exception box text.
#include <gtest/gtest.h>

#include "app/Startup.h"

TEST(ExtractFilePath, KeepsEverythingUpToTheLastSeparatorOrColon) {
  EXPECT_EQ(ExtractFilePath("C:\\Program Files\\Morvane\\morvane.exe"),
            "C:\\Program Files\\Morvane\\");
  EXPECT_EQ(ExtractFilePath("C:morvane.exe"), "C:");
  EXPECT_EQ(ExtractFilePath("\\\\server\\share\\m.exe"), "\\\\server\\share\\");
  EXPECT_EQ(ExtractFilePath("morvane.exe"), "");
  EXPECT_EQ(ExtractFilePath(""), "");
  // Forward slashes are not separators here.
  EXPECT_EQ(ExtractFilePath("C:\\a/b.exe"), "C:\\");
}

TEST(ExceptionBoxText, AddsAFullStopOnlyWhenMissing) {
  EXPECT_EQ(ExceptionBoxText("Out of resources"), "Out of resources.");
  EXPECT_EQ(ExceptionBoxText("Already said."), "Already said.");
  EXPECT_EQ(ExceptionBoxText(""), "");
  EXPECT_EQ(ExceptionBoxText("Line one\n"), "Line one\n.");
}
