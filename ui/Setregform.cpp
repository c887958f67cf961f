// The main window's layout, field bindings and command handlers.
#include "ui/Setregform.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "files/ProgramPaths.h"
#include "files/RegisterFile.h"
#include "files/StartupSettings.h"
#include "os/ErrorText.h"
#include "regs/Codec.h"
#include "regs/Groups.h"
#include "ui/Aboutform.h"

TSetDRAMRegisterForm* SetDRAMRegisterForm = nullptr;

std::string SaveErrorText(const std::string& path) {
  return "There was an error saving to file \"" + path + "\".";
}

std::string LoadErrorText(const std::string& path) {
  return "There was an error loading from file \"" + path +
         "\".\nSome values may not have been loaded.";
}

std::string StartupRegisterErrorText(const StartupResult& result) {
  if (result.registration == StartupRegistration::RunValue) {
    // This wording (and its path) has always been shown to users.
    return "Unable to create system registry value\n"
           "\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\WindowsCurrentVersion\\Run\\Morvane";
  }
  return "Unable to create the log-on task \"Morvane\"\n" + os::HResultText(result.error);
}

void ReportStartupResult(MessageBoxControl& messages, const StartupResult& result,
                         const std::string& startupFile) {
  switch (result.outcome) {
    case StartupResult::Outcome::Done:
      break;  // success shows nothing
    case StartupResult::Outcome::SaveFailed:
      messages.Show(SaveErrorText(startupFile), kSaveErrorCaption, kMessageOk);
      break;
    case StartupResult::Outcome::RegisterFailed:
      messages.Show(StartupRegisterErrorText(result), kRegistryErrorCaption, kMessageOk);
      break;
    case StartupResult::Outcome::UnsafePlace:
      messages.Show(UnsafePlaceText(result.exposed), kRegistryErrorCaption, kMessageOk);
      break;
  }
}

namespace {

FormStyle MainStyle(const MainLayout& layout) {
  FormStyle style;
  style.clientWidth = layout.clientWidth;
  style.clientHeight = kMainClientHeight;
  style.dpi = layout.dpi;
  style.border = BorderStyle::Single;
  style.minimizeButton = true;
  style.keyPreview = false;
  style.menuBar = true;
  style.font = {"MS Sans Serif", 8, kColorWindowText, false};
  return style;
}

const FontSpec kLegendFont = {"MS Sans Serif", 10, kColorWindowText, false};

constexpr int kListHeight = 21;
constexpr int kItemHeight = 13;
constexpr int kLabelDrop = 4;  // a label stands this much lower than its list's top

// A field's label beside the list whose top is `listTop`; it takes its text when bound.
LabelControl& FieldLabel(ControlFactory& factory, Container& box, int left, int listTop) {
  return factory.CreateLabel(box, {left, listTop + kLabelDrop, 0, 0, -1}, "", nullptr);
}

ChoiceBox& FieldList(ControlFactory& factory, Container& box, int left, int top, int width,
                     int tabOrder) {
  return factory.CreateComboBox(box, {left, top, width, kListHeight, tabOrder}, kItemHeight);
}

// Timing and configuration boxes: labels at 8 (lists at 168 in the design).
constexpr int kLabelLeft = 8;
// The MEMCLK block: two columns of narrow lists (labels at 8, the right column's at 152,
// 15 right of the left column's lists).
constexpr int kClockLeftColumnLabel = 8;
constexpr int kClockColumnSpacing = 15;
constexpr int kClockLabelRoom = 64;  // from the right column's labels to its lists
// The link box: two columns (left column's labels at 8, the right one's 24 right of the left
// column's lists).
constexpr int kLinkLeftLabel = 8;
constexpr int kLinkColumnSpacing = 24;
constexpr int kLinkLabelRoom = 128;  // from the right column's labels to its lists
// What a closed list takes besides its text: the drop-down button (a scroll bar's width,
// 17 pixels at 96 dots per inch), the borders and the text field's margins.
constexpr int kListChrome = 26;
// Room kept right of a box's last list, and between the boxes and the window's edges.
constexpr int kBoxPadding = 8;
constexpr int kWindowMargin = 8;
constexpr int kRightMargin = 4;
constexpr int kBoxSpacing = 7;

constexpr int kLegendLeft = 72;
constexpr char kLegendText[] = "* Indicates a reserved value";

// How far a column's lists must move right so that the widest of its labels, standing at
// `labelLeft`, keeps kLabelGap before them.
int ListShift(ControlFactory& factory, int dpi, std::initializer_list<const char*> keys,
              int labelLeft, int listLeft) {
  const FontSpec font = MainStyle({}).font;
  int needed = 0;
  for (const char* key : keys) {
    if (const RegisterField* field = FindField(key)) {
      needed = std::max(needed, labelLeft + factory.TextWidth(field->label, font, dpi) + kLabelGap);
    }
  }
  return std::max(0, needed - listLeft);
}

// The width a column's lists need to show the widest of their texts (a choice, or "UNKNOWN")
// whole when closed; never less than the design's.
int ListWidth(ControlFactory& factory, int dpi, std::initializer_list<const char*> keys,
              int designWidth) {
  const FontSpec font = MainStyle({}).font;
  int widest = factory.TextWidth(kUnknownText, font, dpi);
  for (const char* key : keys) {
    const RegisterField* field = FindField(key);
    if (field == nullptr) continue;
    for (const FieldChoice* choice : *field->choices) {
      if (choice == &NoChoice) break;
      widest = std::max(widest, factory.TextWidth(ChoiceDisplayText(*field, *choice), font, dpi));
    }
  }
  return std::max(designWidth, widest + kListChrome);
}

}  // namespace

MainLayout LayOutMainWindow(ControlFactory& f, int dpi) {
  const std::initializer_list<const char*> timing = {"Tcl", "Trc", "Trfc", "Trcd", "Trrd", "Tras",
                                                     "Trp", "Twr", "Twtr", "Trtw", "Tref"};
  const std::initializer_list<const char*> config = {
      "ReadWriteQueueBypass", "ControllerMode", "ECCMode",
      "TwoTTiming",           "BypassMax",      "MaxAsyncLatency",
      "ReadPreamble",         "IdleCycleLimit", "DynamicIdleCycleCounter",
      "MEMCLKFrequency"};
  const std::initializer_list<const char*> clocks = {"MEMCLK0", "MEMCLK1", "MEMCLK2", "MEMCLK3"};
  const std::initializer_list<const char*> linkLeft = {"LinkFreq",       "CRCFlood", "StopTristate",
                                                       "ExtControlTime", "WidthIN",  "WidthOut"};
  const std::initializer_list<const char*> linkRight = {
      "ReqBufCnt",     "PostedReqBufCnt",     "RespBufCnt",        "ProbeBufCnt",
      "ReqDataBufCnt", "PostedReqDataBufCnt", "ResponseDataBufCnt"};
  MainLayout L;
  L.dpi = dpi;

  L.timingListLeft += ListShift(f, dpi, timing, kLabelLeft, L.timingListLeft);
  L.timingListWidth = ListWidth(f, dpi, timing, L.timingListWidth);
  int legendRight = kLegendLeft + f.TextWidth(kLegendText, kLegendFont, dpi);
  L.timingWidth = std::max({L.timingWidth, L.timingListLeft + L.timingListWidth + kBoxPadding,
                            legendRight + kBoxPadding});

  L.configListLeft += ListShift(f, dpi, config, kLabelLeft, L.configListLeft);
  L.configListWidth = ListWidth(f, dpi, config, L.configListWidth);
  // The MEMCLK block keeps its two columns: the right one moves with the left one's lists.
  L.clockListWidth = ListWidth(f, dpi, clocks, L.clockListWidth);
  L.clockLeftList +=
      ListShift(f, dpi, {"MEMCLK0", "MEMCLK1"}, kClockLeftColumnLabel, L.clockLeftList);
  L.clockRightLabel = L.clockLeftList + L.clockListWidth + kClockColumnSpacing;
  L.clockRightList = L.clockRightLabel + kClockLabelRoom;
  L.clockRightList +=
      ListShift(f, dpi, {"MEMCLK2", "MEMCLK3"}, L.clockRightLabel, L.clockRightList);
  int configNeeded =
      std::max(L.configListLeft + L.configListWidth, L.clockRightList + L.clockListWidth);
  L.configWidth = std::max(L.configWidth, configNeeded + kBoxPadding);

  // The link box's two columns, the right one moving with the left one's lists.
  L.linkListWidth = std::max(ListWidth(f, dpi, linkLeft, L.linkListWidth),
                             ListWidth(f, dpi, linkRight, L.linkListWidth));
  L.linkLeftList += ListShift(f, dpi, linkLeft, kLinkLeftLabel, L.linkLeftList);
  L.linkRightLabel = L.linkLeftList + L.linkListWidth + kLinkColumnSpacing;
  L.linkRightList = L.linkRightLabel + kLinkLabelRoom;
  L.linkRightList += ListShift(f, dpi, linkRight, L.linkRightLabel, L.linkRightList);

  // The two upper boxes side by side; the link box and the button strip span both, and the
  // right edges of the upper and lower boxes stay flush.
  L.configLeft = kWindowMargin + L.timingWidth + kBoxSpacing;
  L.linkWidth = std::max({L.linkWidth, L.linkRightList + L.linkListWidth + kBoxPadding,
                          L.configLeft + L.configWidth - kWindowMargin});
  L.configWidth = kWindowMargin + L.linkWidth - L.configLeft;
  L.clientWidth = kWindowMargin + L.linkWidth + kRightMargin;
  return L;
}

namespace {
// The last layout the fitting tried. Each layout measures every label and every choice, and
// the resolution found is nearly always the last one tried: that layout is taken as it is.
MainLayout lastTried;
}  // namespace

MainLayout FitMainLayout(ControlFactory& factory) {
  lastTried.dpi = 0;
  int dpi = FitDpi(factory, MainStyle({}), [](ControlFactory& f, int at) {
    lastTried = LayOutMainWindow(f, at);
    return lastTried.clientWidth;
  });
  return lastTried.dpi == dpi ? lastTried : LayOutMainWindow(factory, dpi);
}

TSetDRAMRegisterForm::TSetDRAMRegisterForm(ControlFactory& factory)
    : TSetDRAMRegisterForm(factory, FitMainLayout(factory)) {}

TSetDRAMRegisterForm::TSetDRAMRegisterForm(ControlFactory& f, const MainLayout& L)
    : Window(f.CreateForm(MainStyle(L))),

      TimingGroupBox(f.CreateGroupBox(Window, {8, 8, L.timingWidth, 329, 0}, "Timing Parameters")),
      CASLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 24)),
      CASLatency(FieldList(f, TimingGroupBox, L.timingListLeft, 24, L.timingListWidth, 0)),
      RowCycleTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 48)),
      RowCycleTime(FieldList(f, TimingGroupBox, L.timingListLeft, 48, L.timingListWidth, 1)),
      RowRefreshCycleTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 72)),
      RowRefreshCycleTime(FieldList(f, TimingGroupBox, L.timingListLeft, 72, L.timingListWidth, 2)),
      RASToCASDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 96)),
      RASToCASDelay(FieldList(f, TimingGroupBox, L.timingListLeft, 96, L.timingListWidth, 3)),
      RASToRASDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 120)),
      RASToRASDelay(FieldList(f, TimingGroupBox, L.timingListLeft, 120, L.timingListWidth, 4)),
      MinRASTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 144)),
      MinRASTime(FieldList(f, TimingGroupBox, L.timingListLeft, 144, L.timingListWidth, 5)),
      RowPrechargeTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 168)),
      RowPrechargeTime(FieldList(f, TimingGroupBox, L.timingListLeft, 168, L.timingListWidth, 6)),
      WriteRecoveryTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 192)),
      WriteRecoveryTime(FieldList(f, TimingGroupBox, L.timingListLeft, 192, L.timingListWidth, 7)),
      WriteToReadDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 216)),
      WriteToReadDelay(FieldList(f, TimingGroupBox, L.timingListLeft, 216, L.timingListWidth, 8)),
      ReadToWriteDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 240)),
      ReadToWriteDelay(FieldList(f, TimingGroupBox, L.timingListLeft, 240, L.timingListWidth, 9)),
      RefreshRateLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 264)),
      RefreshRate(FieldList(f, TimingGroupBox, L.timingListLeft, 264, L.timingListWidth, 10)),
      Label1(f.CreateLabel(TimingGroupBox, {kLegendLeft, 304, 166, 16, -1}, kLegendText,
                           &kLegendFont)),

      GroupBox2(f.CreateGroupBox(Window, {L.configLeft, 8, L.configWidth, 329, 2},
                                 "Configuration Parameters")),
      ReadWriteQBypassLabel(FieldLabel(f, GroupBox2, kLabelLeft, 24)),
      ReadWriteQBypass(FieldList(f, GroupBox2, L.configListLeft, 24, L.configListWidth, 0)),
      ControllerModeLabel(FieldLabel(f, GroupBox2, kLabelLeft, 48)),
      ControllerMode(FieldList(f, GroupBox2, L.configListLeft, 48, L.configListWidth, 1)),
      EccLabel(FieldLabel(f, GroupBox2, kLabelLeft, 72)),
      Ecc(FieldList(f, GroupBox2, L.configListLeft, 72, L.configListWidth, 2)),
      TwoTLabel(FieldLabel(f, GroupBox2, kLabelLeft, 96)),
      TwoT(FieldList(f, GroupBox2, L.configListLeft, 96, L.configListWidth, 3)),
      BypassMaxLabel(FieldLabel(f, GroupBox2, kLabelLeft, 120)),
      BypassMax(FieldList(f, GroupBox2, L.configListLeft, 120, L.configListWidth, 4)),
      MaxAsyncLatencyLabel(FieldLabel(f, GroupBox2, kLabelLeft, 144)),
      MaxAsyncLatency(FieldList(f, GroupBox2, L.configListLeft, 144, L.configListWidth, 5)),
      ReadPreambleLabel(FieldLabel(f, GroupBox2, kLabelLeft, 168)),
      ReadPreamble(FieldList(f, GroupBox2, L.configListLeft, 168, L.configListWidth, 6)),
      IdleCycleLimitLabel(FieldLabel(f, GroupBox2, kLabelLeft, 192)),
      IdleCycleLimit(FieldList(f, GroupBox2, L.configListLeft, 192, L.configListWidth, 7)),
      DynamicIdleCycleCounterLabel(FieldLabel(f, GroupBox2, kLabelLeft, 216)),
      DynamicIdleCycleCounter(FieldList(f, GroupBox2, L.configListLeft, 216, L.configListWidth, 8)),
      MemClkFreqLabel(FieldLabel(f, GroupBox2, kLabelLeft, 240)),
      MemClkFreq(FieldList(f, GroupBox2, L.configListLeft, 240, L.configListWidth, 9)),
      MemClk0Label(FieldLabel(f, GroupBox2, kClockLeftColumnLabel, 272)),
      MemClk0(FieldList(f, GroupBox2, L.clockLeftList, 272, L.clockListWidth, 10)),
      MemClk1Label(FieldLabel(f, GroupBox2, kClockLeftColumnLabel, 296)),
      MemClk1(FieldList(f, GroupBox2, L.clockLeftList, 296, L.clockListWidth, 11)),
      MemClk2Label(FieldLabel(f, GroupBox2, L.clockRightLabel, 272)),
      MemClk2(FieldList(f, GroupBox2, L.clockRightList, 272, L.clockListWidth, 12)),
      MemClk3Label(FieldLabel(f, GroupBox2, L.clockRightLabel, 296)),
      MemClk3(FieldList(f, GroupBox2, L.clockRightList, 296, L.clockListWidth, 13)),

      GroupBox3(f.CreateGroupBox(Window, {8, 344, L.linkWidth, 201, 3}, "Link Parameters")),
      LinkFreqLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 24)),
      LinkFreq(FieldList(f, GroupBox3, L.linkLeftList, 24, L.linkListWidth, 0)),
      CRCFloodEnableLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 48)),
      CRCFloodEnable(FieldList(f, GroupBox3, L.linkLeftList, 48, L.linkListWidth, 1)),
      StopTristateEnableLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 72)),
      StopTristateEnable(FieldList(f, GroupBox3, L.linkLeftList, 72, L.linkListWidth, 2)),
      ExtControlTimeLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 96)),
      ExtControlTime(FieldList(f, GroupBox3, L.linkLeftList, 96, L.linkListWidth, 3)),
      LinkWidthInLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 120)),
      LinkWidthIn(FieldList(f, GroupBox3, L.linkLeftList, 120, L.linkListWidth, 4)),
      LinkWidthOutLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 144)),
      LinkWidthOut(FieldList(f, GroupBox3, L.linkLeftList, 144, L.linkListWidth, 5)),
      RequestBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 24)),
      RequestBufferCount(FieldList(f, GroupBox3, L.linkRightList, 24, L.linkListWidth, 11)),
      PostedRequestBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 48)),
      PostedRequestBufferCount(FieldList(f, GroupBox3, L.linkRightList, 48, L.linkListWidth, 6)),
      ResponseBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 72)),
      ResponseBufferCount(FieldList(f, GroupBox3, L.linkRightList, 72, L.linkListWidth, 7)),
      ProbeBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 96)),
      ProbeBufferCount(FieldList(f, GroupBox3, L.linkRightList, 96, L.linkListWidth, 8)),
      RequestDataBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 120)),
      RequestDataBufferCount(FieldList(f, GroupBox3, L.linkRightList, 120, L.linkListWidth, 9)),
      PostedRequestDataBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 144)),
      PostedRequestDataBufferCount(
          FieldList(f, GroupBox3, L.linkRightList, 144, L.linkListWidth, 10)),
      ResponseDataBufferCountLabel(FieldLabel(f, GroupBox3, L.linkRightLabel, 168)),
      ResponseDataBufferCount(FieldList(f, GroupBox3, L.linkRightList, 168, L.linkListWidth, 12)),

      GroupBox1(f.CreateGroupBox(Window, {8, 552, L.linkWidth, 49, 1}, "")),
      RefreshButton(f.CreateButton(GroupBox1, {24, 14, 75, 25, 0}, "Refresh")),
      SetRegistersButton(f.CreateButton(GroupBox1, {128, 14, 75, 25, 1}, "Set")),

      MainMenu(f.CreateMainMenu(Window)),
      File1(f.CreateMenuItem(MainMenu, "File")),
      Save1(f.CreateMenuItem(File1, "Save ...")),
      Restore1(f.CreateMenuItem(File1, "Load ...")),
      N2(f.CreateMenuItem(File1, "-")),
      Setstartup1(f.CreateMenuItem(File1, "Apply Settings at Startup")),
      Removestartupsettings1(f.CreateMenuItem(File1, "Remove Startup settings")),
      N1(f.CreateMenuItem(File1, "-")),
      Exit1(f.CreateMenuItem(File1, "Exit")),
      About1(f.CreateMenuItem(MainMenu, "About")),

      OpenDialog(f.CreateOpenDialog(Window)),
      Messages(f.CreateMessageBox(Window)) {
  RefreshButton.OnClick = [this] { RefreshButtonClick(); };
  SetRegistersButton.OnClick = [this] { SetRegistersButtonClick(); };
  Save1.OnClick = [this] { SaveClick(); };
  Restore1.OnClick = [this] { RestoreClick(); };
  Setstartup1.OnClick = [this] { ApplyStartupSettingsClick(); };
  Removestartupsettings1.OnClick = [this] { RemoveStartupSettingsClick(); };
  Exit1.OnClick = [this] { Exit1Click(); };
  About1.OnClick = [this] { About1Click(); };

  Window.SetCaption(ProgramCaption());
  BindAllFields();
  SetRegistersButton.SetEnabled(false);
  ReadDramGroup();
  ReadLinkGroup();
  ShowAllFields();
}

void TSetDRAMRegisterForm::BindAllFields() {
  struct Pair {
    const char* key;
    LabelControl& label;
    ChoiceBox& list;
  };
  // In screen order; binding runs in the fields' table order.
  const Pair pairs[] = {
      {"Tcl", CASLabel, CASLatency},
      {"Trc", RowCycleTimeLabel, RowCycleTime},
      {"Trfc", RowRefreshCycleTimeLabel, RowRefreshCycleTime},
      {"Trcd", RASToCASDelayLabel, RASToCASDelay},
      {"Trrd", RASToRASDelayLabel, RASToRASDelay},
      {"Tras", MinRASTimeLabel, MinRASTime},
      {"Trp", RowPrechargeTimeLabel, RowPrechargeTime},
      {"Twr", WriteRecoveryTimeLabel, WriteRecoveryTime},
      {"Twtr", WriteToReadDelayLabel, WriteToReadDelay},
      {"Trtw", ReadToWriteDelayLabel, ReadToWriteDelay},
      {"Tref", RefreshRateLabel, RefreshRate},
      {"ReadWriteQueueBypass", ReadWriteQBypassLabel, ReadWriteQBypass},
      {"ControllerMode", ControllerModeLabel, ControllerMode},
      {"ECCMode", EccLabel, Ecc},
      {"TwoTTiming", TwoTLabel, TwoT},
      {"BypassMax", BypassMaxLabel, BypassMax},
      {"MaxAsyncLatency", MaxAsyncLatencyLabel, MaxAsyncLatency},
      {"ReadPreamble", ReadPreambleLabel, ReadPreamble},
      {"IdleCycleLimit", IdleCycleLimitLabel, IdleCycleLimit},
      {"DynamicIdleCycleCounter", DynamicIdleCycleCounterLabel, DynamicIdleCycleCounter},
      {"MEMCLKFrequency", MemClkFreqLabel, MemClkFreq},
      {"MEMCLK0", MemClk0Label, MemClk0},
      {"MEMCLK1", MemClk1Label, MemClk1},
      {"MEMCLK2", MemClk2Label, MemClk2},
      {"MEMCLK3", MemClk3Label, MemClk3},
      {"LinkFreq", LinkFreqLabel, LinkFreq},
      {"CRCFlood", CRCFloodEnableLabel, CRCFloodEnable},
      {"StopTristate", StopTristateEnableLabel, StopTristateEnable},
      {"ExtControlTime", ExtControlTimeLabel, ExtControlTime},
      {"WidthIN", LinkWidthInLabel, LinkWidthIn},
      {"WidthOut", LinkWidthOutLabel, LinkWidthOut},
      {"ReqBufCnt", RequestBufferCountLabel, RequestBufferCount},
      {"PostedReqBufCnt", PostedRequestBufferCountLabel, PostedRequestBufferCount},
      {"RespBufCnt", ResponseBufferCountLabel, ResponseBufferCount},
      {"ProbeBufCnt", ProbeBufferCountLabel, ProbeBufferCount},
      {"ReqDataBufCnt", RequestDataBufferCountLabel, RequestDataBufferCount},
      {"PostedReqDataBufCnt", PostedRequestDataBufferCountLabel, PostedRequestDataBufferCount},
      {"ResponseDataBufCnt", ResponseDataBufferCountLabel, ResponseDataBufferCount},
  };
  static_assert(std::size(pairs) == kFieldCount);
  for (const RegisterField& field : AllFields()) {
    const Pair* match = nullptr;
    for (const Pair& pair : pairs) {
      if (std::strcmp(pair.key, field.key) == 0) match = &pair;
    }
    // Every key stands in the list above; the layout tests prove each field bound.
    if (match != nullptr) BindField(match->label, match->list, field);
  }
}

void TSetDRAMRegisterForm::BindField(LabelControl& label, ChoiceBox& list,
                                     const RegisterField& field) {
  label.SetText(field.label);
  list.Field = &field;
  FillChoiceList(list, field);
  // The opened list shows every item without a scroll bar.
  list.SetDropDownCount(list.ItemCount());
  list.OnChange = [this](ChoiceBox& changed) { FieldListChange(changed); };
  boundLists_.push_back(&list);
}

void TSetDRAMRegisterForm::ShowAllFields() {
  for (ChoiceBox* list : boundLists_) ShowCurrentChoice(*list, *list->Field);
}

void TSetDRAMRegisterForm::FieldListChange(ChoiceBox& list) {
  // The pick changes only the cached value; "Set" brings it into the hardware. Whatever
  // the user typed, every list then shows exactly what the caches hold.
  if (PickChoice(list)) SetRegistersButton.SetEnabled(true);
  ShowAllFields();
}

void TSetDRAMRegisterForm::RefreshButtonClick() {
  ReadDramGroup();
  ReadLinkGroup();
  ShowAllFields();
}

void TSetDRAMRegisterForm::SetRegistersButtonClick() {
  // A register whose last read failed holds no hardware value: then neither group is written
  // and Set stays enabled for after a successful Refresh.
  if (!RegistersWritable()) {
    Messages.Show(kUnreadableMessage, kUnreadableCaption, kMessageOk | kMessageIconExclamation);
    return;
  }
  // Every register of both groups is written, changed or not, and read back.
  WriteDramGroup();
  WriteLinkGroup();
  ShowAllFields();
  SetRegistersButton.SetEnabled(false);
}

void TSetDRAMRegisterForm::PrepareOpenDialog(OpenOptions options) {
  ForceCurrentDirectory = true;
  OpenDialog.Options = options;
  OpenDialog.Filter = kRegisterFileFilter;
  OpenDialog.FilterIndex = 1;
  OpenDialog.Title = kFileDialogTitle;
  OpenDialog.DefaultExt = kRegisterFileExtension;
}

void TSetDRAMRegisterForm::SaveClick() {
  PrepareOpenDialog(ofExtensionDifferent | ofPathMustExist | ofOverwritePrompt |
                    ofNoReadOnlyReturn | ofHideReadOnly | ofEnableSizing);
  if (!OpenDialog.Execute()) return;
  const std::string path = OpenDialog.FileName;
  if (!(SaveDramSection(path) && SaveLinkSection(path))) {
    Messages.Show(SaveErrorText(path), kSaveErrorCaption, kMessageOk);
  }
}

void TSetDRAMRegisterForm::RestoreClick() {
  PrepareOpenDialog(ofExtensionDifferent | ofPathMustExist | ofFileMustExist | ofHideReadOnly |
                    ofEnableSizing);
  if (!OpenDialog.Execute()) return;
  const std::string path = OpenDialog.FileName;
  if (!(LoadDramSection(path) && LoadLinkSection(path))) {
    Messages.Show(LoadErrorText(path), kLoadErrorCaption, kMessageOk);
  }
  // Loaded fully or in part, the caches may now differ from the hardware.
  ShowAllFields();
  SetRegistersButton.SetEnabled(true);
}

void TSetDRAMRegisterForm::ApplyStartupSettingsClick() {
  ReportStartupResult(Messages, ApplyStartupSettings(ProgramFilePath, StartupFilePath),
                      StartupFilePath);
}

void TSetDRAMRegisterForm::RemoveStartupSettingsClick() {
  // Silent, also when something could not be removed: without the rights to it there is
  // nothing this user could remove.
  RemoveStartupSettings();
}

void TSetDRAMRegisterForm::Exit1Click() {
  Window.Close();
}

void TSetDRAMRegisterForm::About1Click() {
  if (FormAbout != nullptr) FormAbout->ShowModal();
}
