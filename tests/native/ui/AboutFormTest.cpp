// The About window over memory controls: its frame, the seven labels with their texts, places
// and fonts, and the keys that end (or do not end) its modal show.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/MemoryControls.h"
#include "ui/Aboutform.h"

namespace {

class AboutWindow : public ::testing::Test {
 protected:
  MemoryControlFactory factory;
  TFormAbout about{factory};
  MemoryForm& window = Mem(about.Window);

  // Shows the window modally while `user` acts, and returns the modal result.
  int ShowWhile(std::function<void(MemoryForm&)> user) {
    window.whileModal = std::move(user);
    return about.ShowModal();
  }
};

TEST_F(AboutWindow, IsAFixedDialogWithKeyPreviewThatStaysHidden) {
  EXPECT_EQ(window.Caption(), "Morvane V0.50 QV beta");
  EXPECT_EQ(window.style.clientWidth, 213);
  EXPECT_EQ(window.style.clientHeight, 171);
  EXPECT_EQ(window.style.border, BorderStyle::Dialog);
  EXPECT_FALSE(window.style.minimizeButton);
  EXPECT_FALSE(window.style.menuBar);
  EXPECT_TRUE(window.style.keyPreview);
  EXPECT_EQ(window.style.background, kColorButtonFace);
  EXPECT_EQ(window.style.font, (FontSpec{"MS Sans Serif", 8, kColorWindowText, false}));
  // Created once, hidden: nothing shows it until the main window asks.
  EXPECT_FALSE(window.visible);
  EXPECT_EQ(window.shows, 0);
  EXPECT_EQ(window.modalShows, 0);
  // Seven labels and nothing else.
  EXPECT_EQ(factory.labels.size(), 7u);
  EXPECT_TRUE(factory.buttons.empty());
  EXPECT_TRUE(factory.comboBoxes.empty());
  EXPECT_TRUE(factory.menus.empty());
}

TEST_F(AboutWindow, LabelsStandAtTheirPlacesWithTheirTextsAndFonts) {
  struct Expected {
    LabelControl& label;
    int left, top;
    std::string text;
    std::optional<FontSpec> font;
  };
  const Expected expected[] = {
      {about.Label1, 51, 8, "Morvane", FontSpec{"MS Sans Serif", 14, Rgb(64, 128, 128), false}},
      {about.VersionLabel, 96, 32, "V0.50 QV beta", std::nullopt},
      {about.DateLabel, 84, 48, "Aug 2004", std::nullopt},
      {about.Label2, 59, 88, kAuthorCredit, std::nullopt},
      {about.Label3, 29, 104, kWebSiteName,
       FontSpec{"Microsoft Sans Serif", 10, Rgb(0, 128, 128), true}},
      {about.Label6, 15, 136, kDriverCredit, std::nullopt},
      {about.Label7, 44, 152, kDriverAddress,
       FontSpec{"MS Sans Serif", 8, kColorActiveCaption, false}},
  };
  for (const Expected& e : expected) {
    MemoryLabel& label = Mem(e.label);
    SCOPED_TRACE(e.text);
    EXPECT_EQ(label.parent, &about.Window);
    EXPECT_EQ(label.placement.left, e.left);
    EXPECT_EQ(label.placement.top, e.top);
    EXPECT_EQ(label.placement.tabOrder, -1);
    EXPECT_EQ(label.Text(), e.text);
    EXPECT_EQ(label.font, e.font);
  }
  // The credits are the project's own and fit in one line each.
  for (const char* credit : {kAuthorCredit, kWebSiteName, kDriverCredit, kDriverAddress}) {
    EXPECT_FALSE(std::string(credit).empty());
    EXPECT_LT(std::string(credit).size(), 40u);
  }
}

TEST_F(AboutWindow, EscapeEndsTheModalShowWithOkWhateverTheModifiers) {
  for (ShiftState shift : {ShiftState{0}, kShiftKey, kCtrlKey, kAltKey, kShiftKey | kCtrlKey}) {
    SCOPED_TRACE(shift);
    EXPECT_EQ(ShowWhile([shift](MemoryForm& w) { w.PressKey(kKeyEscape, shift); }), kModalOk);
    EXPECT_FALSE(window.visible);
  }
}

TEST_F(AboutWindow, OtherKeysNeitherCloseTheWindowNorAreConsumed) {
  for (unsigned short key : {13, 32, 65, 81, 9, 283}) {
    SCOPED_TRACE(key);
    unsigned short pressed = key;
    window.OnKeyDown(pressed, 0);
    EXPECT_EQ(pressed, key);
    EXPECT_EQ(window.ModalResult(), kModalNone);
  }
  // Escape is not consumed either: the controls still see it.
  unsigned short escape = kKeyEscape;
  window.OnKeyDown(escape, kShiftKey);
  EXPECT_EQ(escape, kKeyEscape);
  EXPECT_EQ(window.ModalResult(), kModalOk);
}

TEST_F(AboutWindow, TheCloseButtonGivesTheCancelResult) {
  EXPECT_EQ(ShowWhile([](MemoryForm& w) { w.Close(); }), kModalCancel);
  EXPECT_FALSE(window.closed);  // hidden, not gone: it can be shown again
}

TEST_F(AboutWindow, ShowingItAgainShowsTheSameTextsWithoutRecomputingThem) {
  int versionChanges = Mem(about.VersionLabel).textChanges;
  int dateChanges = Mem(about.DateLabel).textChanges;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ShowWhile([](MemoryForm& w) {
                w.PressKey('x');
                w.PressKey(kKeyEscape);
              }),
              kModalOk);
  }
  EXPECT_EQ(window.modalShows, 3);
  EXPECT_EQ(Mem(about.VersionLabel).textChanges, versionChanges);
  EXPECT_EQ(Mem(about.DateLabel).textChanges, dateChanges);
  EXPECT_EQ(about.VersionLabel.Text(), "V0.50 QV beta");
  EXPECT_EQ(about.DateLabel.Text(), "Aug 2004");
  EXPECT_EQ(window.Caption(), "Morvane V0.50 QV beta");
}

// Wider fonts widen the window so that every label, growing to the right from its left
// edge, still ends inside it; the design's font keeps the design's width. A screen too small
// for the window at its resolution gets it drawn at the highest lower one at which it fits.
TEST(AboutWindowFonts, WidensForWideFontsAndFitsTheScreen) {
  struct Screen {
    int dpi;
    ScreenArea work;
    int expectedDpi;  // for the design's font
  };
  // The window is 171 high, and its frame 25 more here.
  const Screen screens[] = {
      {96, {0, 0, 1024, 738}, 96},
      {144, {0, 0, 1920, 1040}, 144},
      {120, {0, 0, 1024, 180}, 87},
      {96, {0, 0, 160, 600}, 72},
  };
  for (const Screen& screen : screens) {
    for (int charWidth : {4, 5, 6, 8, 12}) {
      MemoryControlFactory fonts;
      fonts.charWidth = charWidth;
      fonts.screenDpi = screen.dpi;
      fonts.workArea = screen.work;
      TFormAbout about(fonts);
      const FormStyle& style = Mem(about.Window).style;
      SCOPED_TRACE(std::to_string(screen.dpi) + " dpi, character width " +
                   std::to_string(charWidth));
      EXPECT_EQ(style.clientHeight, 171);
      for (auto& label : fonts.labels) {
        FontSpec font = label->font.value_or(style.font);
        EXPECT_LE(label->placement.left + fonts.TextWidth(label->text, font, style.dpi),
                  style.clientWidth - 8)
            << label->text;
      }
      const PixelSize frame = fonts.FrameSize(style);
      bool fits = AtDpi(style.clientWidth, style.dpi) + frame.width <= screen.work.width &&
                  AtDpi(171, style.dpi) + frame.height <= screen.work.height;
      EXPECT_TRUE(fits || style.dpi == kSmallestFitDpi);
      EXPECT_LE(style.dpi, screen.dpi);
      if (charWidth == 5) {
        EXPECT_EQ(style.dpi, screen.expectedDpi);
      }
      if (charWidth <= 5 && style.dpi == 96) {
        EXPECT_EQ(style.clientWidth, 213);
      } else if (charWidth >= 8) {
        EXPECT_GT(style.clientWidth, 213);
      }
    }
  }
}

}  // namespace
