// The main window as built: its frame, the three group boxes and the button strip, every
// label and list at its place, the menu bar, the tab order, and the bindings of the 38 fields
// with their choices.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/native/ui/MainWindowFixture.h"

namespace {

using MainWindowLayout = MainWindowTest;

TEST_F(MainWindowLayout, IsAFixedSizeWindowWithMenuAndMinimizeButton) {
  Create();
  MemoryForm& window = Mem(form->Window);
  EXPECT_EQ(window.Caption(), "Morvane V0.50 QV beta");
  EXPECT_EQ(window.Caption(), ProgramCaption());
  EXPECT_EQ(window.style.clientWidth, 597);
  EXPECT_EQ(window.style.clientHeight, 608);
  EXPECT_EQ(window.style.border, BorderStyle::Single);
  EXPECT_TRUE(window.style.minimizeButton);
  EXPECT_TRUE(window.style.menuBar);
  EXPECT_FALSE(window.style.keyPreview);
  EXPECT_EQ(window.style.background, kColorButtonFace);
  EXPECT_EQ(window.style.font, (FontSpec{"MS Sans Serif", 8, kColorWindowText, false}));
  EXPECT_EQ(window.style.dpi, 96);
  EXPECT_EQ(factory.forms.size(), 1u);
  EXPECT_FALSE(window.visible);  // the start-up shows it
}

TEST_F(MainWindowLayout, GroupBoxesAndButtonsStandInTheirStrip) {
  Create();
  struct Box {
    GroupBoxControl& box;
    Placement at;
    const char* caption;
  };
  const Box boxes[] = {
      {form->TimingGroupBox, {8, 8, 289, 329, 0}, "Timing Parameters"},
      {form->GroupBox2, {304, 8, 289, 329, 2}, "Configuration Parameters"},
      {form->GroupBox3, {8, 344, 585, 201, 3}, "Link Parameters"},
      {form->GroupBox1, {8, 552, 585, 49, 1}, ""},
  };
  for (const Box& b : boxes) {
    SCOPED_TRACE(b.caption);
    EXPECT_EQ(Mem(b.box).parent, &form->Window);
    EXPECT_EQ(Mem(b.box).placement, b.at);
    EXPECT_EQ(Mem(b.box).caption, b.caption);
  }
  EXPECT_EQ(Mem(form->RefreshButton).placement, (Placement{24, 14, 75, 25, 0}));
  EXPECT_EQ(Mem(form->RefreshButton).caption, "Refresh");
  EXPECT_EQ(Mem(form->RefreshButton).parent, &form->GroupBox1);
  EXPECT_EQ(Mem(form->SetRegistersButton).placement, (Placement{128, 14, 75, 25, 1}));
  EXPECT_EQ(Mem(form->SetRegistersButton).caption, "Set");
  EXPECT_EQ(Mem(form->SetRegistersButton).parent, &form->GroupBox1);

  MemoryLabel& legend = Mem(form->Label1);
  EXPECT_EQ(legend.parent, &form->TimingGroupBox);
  EXPECT_EQ(legend.placement.left, 72);
  EXPECT_EQ(legend.placement.top, 304);
  EXPECT_EQ(legend.Text(), "* Indicates a reserved value");
  EXPECT_EQ(legend.font, (FontSpec{"MS Sans Serif", 10, kColorWindowText, false}));
}

TEST_F(MainWindowLayout, EveryFieldHasItsLabelAndListAtTheirPlaces) {
  Create();
  struct Row {
    LabelControl& label;
    ChoiceBox& list;
    GroupBoxControl& box;
    int labelLeft, listLeft, top, width, tab;
    const char* key;
  };
  TSetDRAMRegisterForm& w = *form;
  const Row rows[] = {
      {w.CASLabel, w.CASLatency, w.TimingGroupBox, 8, 168, 24, 113, 0, "Tcl"},
      {w.RowCycleTimeLabel, w.RowCycleTime, w.TimingGroupBox, 8, 168, 48, 113, 1, "Trc"},
      {w.RowRefreshCycleTimeLabel, w.RowRefreshCycleTime, w.TimingGroupBox, 8, 168, 72, 113, 2,
       "Trfc"},
      {w.RASToCASDelayLabel, w.RASToCASDelay, w.TimingGroupBox, 8, 168, 96, 113, 3, "Trcd"},
      {w.RASToRASDelayLabel, w.RASToRASDelay, w.TimingGroupBox, 8, 168, 120, 113, 4, "Trrd"},
      {w.MinRASTimeLabel, w.MinRASTime, w.TimingGroupBox, 8, 168, 144, 113, 5, "Tras"},
      {w.RowPrechargeTimeLabel, w.RowPrechargeTime, w.TimingGroupBox, 8, 168, 168, 113, 6, "Trp"},
      {w.WriteRecoveryTimeLabel, w.WriteRecoveryTime, w.TimingGroupBox, 8, 168, 192, 113, 7, "Twr"},
      {w.WriteToReadDelayLabel, w.WriteToReadDelay, w.TimingGroupBox, 8, 168, 216, 113, 8, "Twtr"},
      {w.ReadToWriteDelayLabel, w.ReadToWriteDelay, w.TimingGroupBox, 8, 168, 240, 113, 9, "Trtw"},
      {w.RefreshRateLabel, w.RefreshRate, w.TimingGroupBox, 8, 168, 264, 113, 10, "Tref"},
      {w.ReadWriteQBypassLabel, w.ReadWriteQBypass, w.GroupBox2, 8, 168, 24, 113, 0,
       "ReadWriteQueueBypass"},
      {w.ControllerModeLabel, w.ControllerMode, w.GroupBox2, 8, 168, 48, 113, 1, "ControllerMode"},
      {w.EccLabel, w.Ecc, w.GroupBox2, 8, 168, 72, 113, 2, "ECCMode"},
      {w.TwoTLabel, w.TwoT, w.GroupBox2, 8, 168, 96, 113, 3, "TwoTTiming"},
      {w.BypassMaxLabel, w.BypassMax, w.GroupBox2, 8, 168, 120, 113, 4, "BypassMax"},
      {w.MaxAsyncLatencyLabel, w.MaxAsyncLatency, w.GroupBox2, 8, 168, 144, 113, 5,
       "MaxAsyncLatency"},
      {w.ReadPreambleLabel, w.ReadPreamble, w.GroupBox2, 8, 168, 168, 113, 6, "ReadPreamble"},
      {w.IdleCycleLimitLabel, w.IdleCycleLimit, w.GroupBox2, 8, 168, 192, 113, 7, "IdleCycleLimit"},
      {w.DynamicIdleCycleCounterLabel, w.DynamicIdleCycleCounter, w.GroupBox2, 8, 168, 216, 113, 8,
       "DynamicIdleCycleCounter"},
      {w.MemClkFreqLabel, w.MemClkFreq, w.GroupBox2, 8, 168, 240, 113, 9, "MEMCLKFrequency"},
      {w.MemClk0Label, w.MemClk0, w.GroupBox2, 8, 72, 272, 65, 10, "MEMCLK0"},
      {w.MemClk1Label, w.MemClk1, w.GroupBox2, 8, 72, 296, 65, 11, "MEMCLK1"},
      {w.MemClk2Label, w.MemClk2, w.GroupBox2, 152, 216, 272, 65, 12, "MEMCLK2"},
      {w.MemClk3Label, w.MemClk3, w.GroupBox2, 152, 216, 296, 65, 13, "MEMCLK3"},
      {w.LinkFreqLabel, w.LinkFreq, w.GroupBox3, 8, 96, 24, 80, 0, "LinkFreq"},
      {w.CRCFloodEnableLabel, w.CRCFloodEnable, w.GroupBox3, 8, 96, 48, 80, 1, "CRCFlood"},
      {w.StopTristateEnableLabel, w.StopTristateEnable, w.GroupBox3, 8, 96, 72, 80, 2,
       "StopTristate"},
      {w.ExtControlTimeLabel, w.ExtControlTime, w.GroupBox3, 8, 96, 96, 80, 3, "ExtControlTime"},
      {w.LinkWidthInLabel, w.LinkWidthIn, w.GroupBox3, 8, 96, 120, 80, 4, "WidthIN"},
      {w.LinkWidthOutLabel, w.LinkWidthOut, w.GroupBox3, 8, 96, 144, 80, 5, "WidthOut"},
      {w.RequestBufferCountLabel, w.RequestBufferCount, w.GroupBox3, 200, 328, 24, 80, 11,
       "ReqBufCnt"},
      {w.PostedRequestBufferCountLabel, w.PostedRequestBufferCount, w.GroupBox3, 200, 328, 48, 80,
       6, "PostedReqBufCnt"},
      {w.ResponseBufferCountLabel, w.ResponseBufferCount, w.GroupBox3, 200, 328, 72, 80, 7,
       "RespBufCnt"},
      {w.ProbeBufferCountLabel, w.ProbeBufferCount, w.GroupBox3, 200, 328, 96, 80, 8,
       "ProbeBufCnt"},
      {w.RequestDataBufferCountLabel, w.RequestDataBufferCount, w.GroupBox3, 200, 328, 120, 80, 9,
       "ReqDataBufCnt"},
      {w.PostedRequestDataBufferCountLabel, w.PostedRequestDataBufferCount, w.GroupBox3, 200, 328,
       144, 80, 10, "PostedReqDataBufCnt"},
      {w.ResponseDataBufferCountLabel, w.ResponseDataBufferCount, w.GroupBox3, 200, 328, 168, 80,
       12, "ResponseDataBufCnt"},
  };
  ASSERT_EQ(std::size(rows), static_cast<std::size_t>(kFieldCount));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.key);
    MemoryComboBox& list = Mem(r.list);
    MemoryLabel& label = Mem(r.label);
    EXPECT_EQ(list.parent, &r.box);
    EXPECT_EQ(list.placement, (Placement{r.listLeft, r.top, r.width, 21, r.tab}));
    EXPECT_EQ(list.itemHeight, 13);
    EXPECT_EQ(label.parent, &r.box);
    EXPECT_EQ(label.placement.left, r.labelLeft);
    EXPECT_EQ(label.placement.top, r.top + 4);
    EXPECT_EQ(label.placement.tabOrder, -1);
    EXPECT_FALSE(label.font.has_value());
    // The pair is bound to the field of that key, and the label shows its label only.
    ASSERT_NE(list.Field, nullptr);
    EXPECT_STREQ(list.Field->key, r.key);
    EXPECT_EQ(label.Text(), list.Field->label);
    EXPECT_EQ(label.textChanges, 1);
  }
  EXPECT_EQ(factory.comboBoxes.size(), static_cast<std::size_t>(kFieldCount));
  EXPECT_EQ(factory.labels.size(), static_cast<std::size_t>(kFieldCount) + 1);
}

// Fonts of every width, from narrower than the design's to far wider, on screens from a
// small one at 96 dots per inch to finer ones: the window is drawn at the screen's resolution
// where it fits the work area there, else at the highest lower one where it does; at that
// resolution no label reaches into a list or out of its box, no controls overlap, the boxes
// stand side by side and flush, and the design's font at 96 dots per inch leaves the design's
// layout as it is.
TEST_F(MainWindowLayout, FitsTheLabelsOfEveryFontAndTheScreenWithoutOverlapOrClipping) {
  struct Rect {
    int left, top, right, bottom;
  };
  auto apart = [](const Rect& a, const Rect& b) {
    return a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top;
  };
  struct Screen {
    int dpi;
    ScreenArea work;
    const char* name;
  };
  const Screen screens[] = {
      {96, {0, 0, 1920, 1040}, "1920x1080 at 96 dpi"},
      {96, {0, 0, 1024, 738}, "1024x768 at 96 dpi"},
      {120, {0, 0, 1024, 768}, "1024x768 at 120 dpi, no task bar"},
      {120, {0, 0, 1366, 728}, "1366x768 at 125 per cent"},
      {144, {0, 0, 1920, 1040}, "1920x1080 at 144 dpi"},
      {192, {0, 0, 1920, 1040}, "1920x1080 at 200 per cent"},
      {96, {0, 30, 800, 570}, "800x600, task bar at the top"},
      {96, {0, 0, 640, 450}, "640x480"},
  };
  for (const Screen& screen : screens) {
    for (int charWidth : {3, 4, 5, 6, 7, 8, 10, 13}) {
      SCOPED_TRACE(std::string(screen.name) + ", character width " + std::to_string(charWidth));
      MemoryControlFactory fonts;
      fonts.charWidth = charWidth;
      fonts.screenDpi = screen.dpi;
      fonts.workArea = screen.work;
      TSetDRAMRegisterForm window(fonts);
      const FormStyle& style = Mem(window.Window).style;
      const int dpi = style.dpi;
      const int clientWidth = style.clientWidth;

      // The resolution: the screen's where the window fits, else the highest that fits.
      const PixelSize frame = fonts.FrameSize(style);
      auto fitsAt = [&](int at) {
        int width = LayOutMainWindow(fonts, at).clientWidth;
        return AtDpi(width, at) + frame.width <= screen.work.width &&
               AtDpi(608, at) + frame.height <= screen.work.height;
      };
      EXPECT_EQ(clientWidth, LayOutMainWindow(fonts, dpi).clientWidth);
      if (fitsAt(screen.dpi)) {
        EXPECT_EQ(dpi, screen.dpi);
      } else {
        EXPECT_LT(dpi, screen.dpi);
        EXPECT_GE(dpi, kSmallestFitDpi);
        EXPECT_TRUE(fitsAt(dpi) || dpi == kSmallestFitDpi);
        for (int higher = dpi + 1; higher < screen.dpi; ++higher) EXPECT_FALSE(fitsAt(higher));
      }

      auto inForm = [](const Container* parent, const Placement& p) {
        Placement f = InForm(*parent, p);
        return Rect{f.left, f.top, f.left + f.width, f.top + f.height};
      };
      auto textOf = [&](const MemoryLabel& label) {
        FontSpec font = label.font.value_or(style.font);
        Placement at = label.placement;
        at.width = fonts.TextWidth(label.text, font, dpi);
        at.height = 13;
        return inForm(label.parent, at);
      };
      std::vector<Rect> controls;
      for (auto& list : fonts.comboBoxes) controls.push_back(inForm(list->parent, list->placement));
      for (auto& button : fonts.buttons) {
        controls.push_back(inForm(button->parent, button->placement));
      }
      for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
          EXPECT_TRUE(apart(controls[i], controls[j])) << "controls " << i << ", " << j;
        }
      }
      // Every label's text keeps the gap before its own list and touches no list at all.
      for (auto& label : fonts.labels) {
        Rect text = textOf(*label);
        auto* box = static_cast<const MemoryGroupBox*>(label->parent);
        EXPECT_LE(label->placement.left + text.right - text.left, box->placement.width - 8)
            << label->text;
        for (const Rect& control : controls) EXPECT_TRUE(apart(text, control)) << label->text;
      }
      for (std::size_t i = 0; i < window.BoundLists().size(); ++i) {
        const auto& list =
            *std::find_if(fonts.comboBoxes.begin(), fonts.comboBoxes.end(),
                          [&](auto& c) { return c.get() == window.BoundLists()[i]; });
        const MemoryLabel* label = nullptr;
        for (auto& l : fonts.labels) {
          if (l->text == list->Field->label) label = l.get();
        }
        ASSERT_NE(label, nullptr) << list->Field->key;
        EXPECT_EQ(label->parent, list->parent);
        EXPECT_EQ(label->placement.top, list->placement.top + 4);
        EXPECT_LE(textOf(*label).right + kLabelGap, inForm(list->parent, list->placement).left)
            << list->Field->key;
        auto* box = static_cast<const MemoryGroupBox*>(list->parent);
        EXPECT_LE(list->placement.left + list->placement.width, box->placement.width - 8);
        // Every choice shows whole beside the drop-down button (17 wide) of the closed list.
        for (int item = 0; item < list->ItemCount(); ++item) {
          EXPECT_LE(fonts.TextWidth(list->ItemText(item), style.font, dpi) + 17,
                    list->placement.width)
              << list->ItemText(item);
        }
        EXPECT_LE(list->placement.top + list->placement.height, box->placement.height);
      }
      // The boxes: two side by side above, the link box and the button strip below, all
      // flush on the right, inside the client area.
      Placement timing = Mem(window.TimingGroupBox).placement;
      Placement config = Mem(window.GroupBox2).placement;
      Placement link = Mem(window.GroupBox3).placement;
      Placement strip = Mem(window.GroupBox1).placement;
      EXPECT_EQ(config.left, timing.left + timing.width + 7);
      EXPECT_EQ(config.left + config.width, link.left + link.width);
      EXPECT_EQ(strip.width, link.width);
      EXPECT_EQ(clientWidth, link.left + link.width + 4);
      EXPECT_EQ(style.clientHeight, 608);
      EXPECT_EQ(strip.top + strip.height, 601);
      // The MEMCLK block stays two by two; the link box keeps its two columns.
      EXPECT_EQ(Mem(window.MemClk0).placement.left, Mem(window.MemClk1).placement.left);
      EXPECT_EQ(Mem(window.MemClk2).placement.left, Mem(window.MemClk3).placement.left);
      Placement clock0 = Mem(window.MemClk0).placement;
      EXPECT_EQ(Mem(window.MemClk2Label).placement.left, clock0.left + clock0.width + 15);
      Placement linkFreq = Mem(window.LinkFreq).placement;
      EXPECT_EQ(Mem(window.RequestBufferCountLabel).placement.left,
                linkFreq.left + linkFreq.width + 24);
      if (dpi == 96 && charWidth <= 5) {  // the design's font: nothing moves
        EXPECT_EQ(clientWidth, 597);
        EXPECT_EQ(config, (Placement{304, 8, 289, 329, 2}));
        EXPECT_EQ(Mem(window.CASLatency).placement.left, 168);
        EXPECT_EQ(Mem(window.MemClk3).placement.left, 216);
        EXPECT_EQ(Mem(window.ResponseDataBufferCount).placement.left, 328);
        EXPECT_EQ(Mem(window.RefreshRate).placement.width, 113);
        EXPECT_EQ(Mem(window.MemClk3).placement.width, 65);
        EXPECT_EQ(Mem(window.LinkFreq).placement.width, 80);
      } else if (charWidth >= 7) {  // wider fonts move the columns and grow the window
        EXPECT_GT(clientWidth, 597);
        EXPECT_GT(Mem(window.CASLatency).placement.left, 168);
      }
    }
  }
}

// The screens of the window tests, with this toolkit's frame (44 pixels high with the menu
// bar): the design's font at 96 dots per inch keeps the design's 597 x 608; at 120 on a
// 1024 x 768 screen the window, 760 + 44 high there, is drawn at 114 (722 + 44); a 1920 x 1080
// screen holds it whole at 144; an 800 x 600 one with its task bar takes it at 83; the
// smallest screens get it at 72, its top left corner first.
TEST_F(MainWindowLayout, IsDrawnAtTheHighestResolutionThatFitsTheWorkArea) {
  struct Case {
    int dpi;
    ScreenArea work;
    int expectedDpi;
  };
  const Case cases[] = {
      {96, {0, 0, 1024, 738}, 96},    {120, {0, 0, 1024, 768}, 114}, {120, {0, 0, 1024, 808}, 120},
      {144, {0, 0, 1920, 1040}, 144}, {96, {0, 30, 800, 570}, 83},   {96, {0, 0, 640, 450}, 72},
      {72, {0, 0, 400, 300}, 72},     {60, {0, 0, 400, 300}, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.dpi) + " dpi, work area " + std::to_string(c.work.width) + " x " +
                 std::to_string(c.work.height));
    factory.screenDpi = c.dpi;
    factory.workArea = c.work;
    Create();
    const FormStyle& style = Mem(form->Window).style;
    EXPECT_EQ(style.dpi, c.expectedDpi);
    EXPECT_EQ(style.clientHeight, 608);
    if (c.expectedDpi == 96) {
      EXPECT_EQ(style.clientWidth, 597);
    }
    form.reset();
  }
}

TEST_F(MainWindowLayout, TabbingRunsThroughTheBoxesInTheirOrder) {
  Create();
  struct Stop {
    std::vector<int> path;
    const void* control;
  };
  std::vector<Stop> stops;
  for (auto& list : factory.comboBoxes) {
    stops.push_back({TabPath(*list->parent, list->placement), list.get()});
  }
  for (auto& button : factory.buttons) {
    stops.push_back({TabPath(*button->parent, button->placement), button.get()});
  }
  std::sort(stops.begin(), stops.end(),
            [](const Stop& a, const Stop& b) { return TabsBefore(a.path, b.path); });
  TSetDRAMRegisterForm& w = *form;
  const std::vector<const void*> expected = {
      &w.CASLatency, &w.RowCycleTime, &w.RowRefreshCycleTime, &w.RASToCASDelay, &w.RASToRASDelay,
      &w.MinRASTime, &w.RowPrechargeTime, &w.WriteRecoveryTime, &w.WriteToReadDelay,
      &w.ReadToWriteDelay, &w.RefreshRate,
      // The button strip comes second.
      &w.RefreshButton, &w.SetRegistersButton, &w.ReadWriteQBypass, &w.ControllerMode, &w.Ecc,
      &w.TwoT, &w.BypassMax, &w.MaxAsyncLatency, &w.ReadPreamble, &w.IdleCycleLimit,
      &w.DynamicIdleCycleCounter, &w.MemClkFreq, &w.MemClk0, &w.MemClk1, &w.MemClk2, &w.MemClk3,
      &w.LinkFreq, &w.CRCFloodEnable, &w.StopTristateEnable, &w.ExtControlTime, &w.LinkWidthIn,
      &w.LinkWidthOut,
      // The right column from its second row; its top row after its last but one.
      &w.PostedRequestBufferCount, &w.ResponseBufferCount, &w.ProbeBufferCount,
      &w.RequestDataBufferCount, &w.PostedRequestDataBufferCount, &w.RequestBufferCount,
      &w.ResponseDataBufferCount};
  std::vector<const void*> actual;
  for (const Stop& s : stops) actual.push_back(s.control);
  EXPECT_EQ(actual, expected);
}

TEST_F(MainWindowLayout, MenuBarHoldsTheFileMenuAndTheAboutCommand) {
  Create();
  ASSERT_EQ(factory.menus.size(), 1u);
  MemoryMenu& bar = *factory.menus[0];
  EXPECT_EQ(bar.form, &form->Window);
  EXPECT_EQ(&Mem(form->MainMenu), &bar);
  ASSERT_EQ(bar.items.size(), 2u);
  EXPECT_EQ(bar.items[0], &Mem(form->File1));
  EXPECT_EQ(bar.items[1], &Mem(form->About1));
  EXPECT_EQ(bar.items[0]->caption, "File");
  EXPECT_EQ(bar.items[1]->caption, "About");
  EXPECT_TRUE(bar.items[1]->items.empty());  // a command, not a menu
  const std::vector<MemoryMenuItem*> file = bar.items[0]->items;
  const std::vector<MenuItemControl*> expected = {
      &form->Save1, &form->Restore1, &form->N2, &form->Setstartup1, &form->Removestartupsettings1,
      &form->N1,    &form->Exit1};
  ASSERT_EQ(file.size(), expected.size());
  const char* captions[] = {
      "Save ...", "Load ...", "-", "Apply Settings at Startup", "Remove Startup settings",
      "-",        "Exit"};
  for (std::size_t i = 0; i < file.size(); ++i) {
    EXPECT_EQ(file[i], expected[i]);
    EXPECT_EQ(file[i]->caption, captions[i]);
  }
  // No shortcuts and no access letters anywhere; only commands have handlers.
  for (auto& item : factory.menuItems) {
    EXPECT_EQ(item->caption.find('&'), std::string::npos);
    bool command = item->items.empty() && item->caption != "-";
    EXPECT_EQ(static_cast<bool>(item->OnClick), command) << item->caption;
  }
}

TEST_F(MainWindowLayout, FieldsAreBoundInTableOrderWithAllTheirChoices) {
  Create();
  const std::vector<ChoiceBox*>& lists = form->BoundLists();
  ASSERT_EQ(lists.size(), static_cast<std::size_t>(kFieldCount));
  for (int i = 0; i < kFieldCount; ++i) {
    const RegisterField& field = Fields[i];
    MemoryComboBox& list = Mem(*lists[i]);
    SCOPED_TRACE(field.key);
    EXPECT_EQ(list.Field, &field);
    int choices = 0;
    while ((*field.choices)[choices] != &NoChoice) ++choices;
    ASSERT_EQ(list.ItemCount(), choices);
    for (int c = 0; c < choices; ++c) {
      // Items carry their very choice records, shown by their display texts.
      EXPECT_EQ(list.ItemChoice(c), (*field.choices)[c]);
      EXPECT_EQ(list.ItemText(c), ChoiceDisplayText(field, *(*field.choices)[c]));
    }
    // The opened list shows every item without a scroll bar.
    EXPECT_EQ(list.dropDownCount, choices);
    EXPECT_TRUE(static_cast<bool>(list.OnChange));
  }
  EXPECT_EQ(Mem(form->CASLatency).dropDownCount, 8);
  EXPECT_EQ(Mem(form->RowCycleTime).dropDownCount, 16);
  EXPECT_EQ(Mem(form->LinkWidthIn).dropDownCount, 5);
  EXPECT_EQ(Mem(form->Ecc).dropDownCount, 2);
  EXPECT_EQ(Mem(form->RequestDataBufferCount).dropDownCount, 8);
  // On screen 2T Timing stands above Bypass Max and Width In above Width Out; in the table
  // they come the other way round.
  auto position = [&](ChoiceBox& list) {
    return std::find(lists.begin(), lists.end(), &list) - lists.begin();
  };
  EXPECT_LT(position(form->BypassMax), position(form->TwoT));
  EXPECT_LT(position(form->LinkWidthOut), position(form->LinkWidthIn));
}

}  // namespace
