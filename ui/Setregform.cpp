// The main window's layout, field bindings and command handlers.
#include "ui/Setregform.h"

#include <cstring>
#include <iterator>

#include "files/RegisterFile.h"
#include "files/StartupSettings.h"
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

namespace {

FormStyle MainStyle() {
  FormStyle style;
  style.clientWidth = 597;
  style.clientHeight = 608;
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

// Timing and configuration boxes: labels at 8, lists at 168, 113 wide.
constexpr int kLabelLeft = 8;
constexpr int kListLeft = 168;
constexpr int kListWidth = 113;
// The MEMCLK block: two columns of narrow lists.
constexpr int kClockListWidth = 65;
constexpr int kClockLeftColumnLabel = 8, kClockLeftColumnList = 72;
constexpr int kClockRightColumnLabel = 152, kClockRightColumnList = 216;
// The link box: two columns of lists 80 wide.
constexpr int kLinkListWidth = 80;
constexpr int kLinkLeftLabel = 8, kLinkLeftList = 96;
constexpr int kLinkRightLabel = 200, kLinkRightList = 328;

}  // namespace

TSetDRAMRegisterForm::TSetDRAMRegisterForm(ControlFactory& f)
    : Window(f.CreateForm(MainStyle())),

      TimingGroupBox(f.CreateGroupBox(Window, {8, 8, 289, 329, 0}, "Timing Parameters")),
      CASLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 24)),
      CASLatency(FieldList(f, TimingGroupBox, kListLeft, 24, kListWidth, 0)),
      RowCycleTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 48)),
      RowCycleTime(FieldList(f, TimingGroupBox, kListLeft, 48, kListWidth, 1)),
      RowRefreshCycleTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 72)),
      RowRefreshCycleTime(FieldList(f, TimingGroupBox, kListLeft, 72, kListWidth, 2)),
      RASToCASDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 96)),
      RASToCASDelay(FieldList(f, TimingGroupBox, kListLeft, 96, kListWidth, 3)),
      RASToRASDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 120)),
      RASToRASDelay(FieldList(f, TimingGroupBox, kListLeft, 120, kListWidth, 4)),
      MinRASTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 144)),
      MinRASTime(FieldList(f, TimingGroupBox, kListLeft, 144, kListWidth, 5)),
      RowPrechargeTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 168)),
      RowPrechargeTime(FieldList(f, TimingGroupBox, kListLeft, 168, kListWidth, 6)),
      WriteRecoveryTimeLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 192)),
      WriteRecoveryTime(FieldList(f, TimingGroupBox, kListLeft, 192, kListWidth, 7)),
      WriteToReadDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 216)),
      WriteToReadDelay(FieldList(f, TimingGroupBox, kListLeft, 216, kListWidth, 8)),
      ReadToWriteDelayLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 240)),
      ReadToWriteDelay(FieldList(f, TimingGroupBox, kListLeft, 240, kListWidth, 9)),
      RefreshRateLabel(FieldLabel(f, TimingGroupBox, kLabelLeft, 264)),
      RefreshRate(FieldList(f, TimingGroupBox, kListLeft, 264, kListWidth, 10)),
      Label1(f.CreateLabel(TimingGroupBox, {72, 304, 166, 16, -1}, "* Indicates a reserved value",
                           &kLegendFont)),

      GroupBox2(f.CreateGroupBox(Window, {304, 8, 289, 329, 2}, "Configuration Parameters")),
      ReadWriteQBypassLabel(FieldLabel(f, GroupBox2, kLabelLeft, 24)),
      ReadWriteQBypass(FieldList(f, GroupBox2, kListLeft, 24, kListWidth, 0)),
      ControllerModeLabel(FieldLabel(f, GroupBox2, kLabelLeft, 48)),
      ControllerMode(FieldList(f, GroupBox2, kListLeft, 48, kListWidth, 1)),
      EccLabel(FieldLabel(f, GroupBox2, kLabelLeft, 72)),
      Ecc(FieldList(f, GroupBox2, kListLeft, 72, kListWidth, 2)),
      TwoTLabel(FieldLabel(f, GroupBox2, kLabelLeft, 96)),
      TwoT(FieldList(f, GroupBox2, kListLeft, 96, kListWidth, 3)),
      BypassMaxLabel(FieldLabel(f, GroupBox2, kLabelLeft, 120)),
      BypassMax(FieldList(f, GroupBox2, kListLeft, 120, kListWidth, 4)),
      MaxAsyncLatencyLabel(FieldLabel(f, GroupBox2, kLabelLeft, 144)),
      MaxAsyncLatency(FieldList(f, GroupBox2, kListLeft, 144, kListWidth, 5)),
      ReadPreambleLabel(FieldLabel(f, GroupBox2, kLabelLeft, 168)),
      ReadPreamble(FieldList(f, GroupBox2, kListLeft, 168, kListWidth, 6)),
      IdleCycleLimitLabel(FieldLabel(f, GroupBox2, kLabelLeft, 192)),
      IdleCycleLimit(FieldList(f, GroupBox2, kListLeft, 192, kListWidth, 7)),
      DynamicIdleCycleCounterLabel(FieldLabel(f, GroupBox2, kLabelLeft, 216)),
      DynamicIdleCycleCounter(FieldList(f, GroupBox2, kListLeft, 216, kListWidth, 8)),
      MemClkFreqLabel(FieldLabel(f, GroupBox2, kLabelLeft, 240)),
      MemClkFreq(FieldList(f, GroupBox2, kListLeft, 240, kListWidth, 9)),
      MemClk0Label(FieldLabel(f, GroupBox2, kClockLeftColumnLabel, 272)),
      MemClk0(FieldList(f, GroupBox2, kClockLeftColumnList, 272, kClockListWidth, 10)),
      MemClk1Label(FieldLabel(f, GroupBox2, kClockLeftColumnLabel, 296)),
      MemClk1(FieldList(f, GroupBox2, kClockLeftColumnList, 296, kClockListWidth, 11)),
      MemClk2Label(FieldLabel(f, GroupBox2, kClockRightColumnLabel, 272)),
      MemClk2(FieldList(f, GroupBox2, kClockRightColumnList, 272, kClockListWidth, 12)),
      MemClk3Label(FieldLabel(f, GroupBox2, kClockRightColumnLabel, 296)),
      MemClk3(FieldList(f, GroupBox2, kClockRightColumnList, 296, kClockListWidth, 13)),

      GroupBox3(f.CreateGroupBox(Window, {8, 344, 585, 201, 3}, "Link Parameters")),
      LinkFreqLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 24)),
      LinkFreq(FieldList(f, GroupBox3, kLinkLeftList, 24, kLinkListWidth, 0)),
      CRCFloodEnableLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 48)),
      CRCFloodEnable(FieldList(f, GroupBox3, kLinkLeftList, 48, kLinkListWidth, 1)),
      StopTristateEnableLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 72)),
      StopTristateEnable(FieldList(f, GroupBox3, kLinkLeftList, 72, kLinkListWidth, 2)),
      ExtControlTimeLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 96)),
      ExtControlTime(FieldList(f, GroupBox3, kLinkLeftList, 96, kLinkListWidth, 3)),
      LinkWidthInLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 120)),
      LinkWidthIn(FieldList(f, GroupBox3, kLinkLeftList, 120, kLinkListWidth, 4)),
      LinkWidthOutLabel(FieldLabel(f, GroupBox3, kLinkLeftLabel, 144)),
      LinkWidthOut(FieldList(f, GroupBox3, kLinkLeftList, 144, kLinkListWidth, 5)),
      RequestBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 24)),
      RequestBufferCount(FieldList(f, GroupBox3, kLinkRightList, 24, kLinkListWidth, 11)),
      PostedRequestBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 48)),
      PostedRequestBufferCount(FieldList(f, GroupBox3, kLinkRightList, 48, kLinkListWidth, 6)),
      ResponseBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 72)),
      ResponseBufferCount(FieldList(f, GroupBox3, kLinkRightList, 72, kLinkListWidth, 7)),
      ProbeBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 96)),
      ProbeBufferCount(FieldList(f, GroupBox3, kLinkRightList, 96, kLinkListWidth, 8)),
      RequestDataBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 120)),
      RequestDataBufferCount(FieldList(f, GroupBox3, kLinkRightList, 120, kLinkListWidth, 9)),
      PostedRequestDataBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 144)),
      PostedRequestDataBufferCount(
          FieldList(f, GroupBox3, kLinkRightList, 144, kLinkListWidth, 10)),
      ResponseDataBufferCountLabel(FieldLabel(f, GroupBox3, kLinkRightLabel, 168)),
      ResponseDataBufferCount(FieldList(f, GroupBox3, kLinkRightList, 168, kLinkListWidth, 12)),

      GroupBox1(f.CreateGroupBox(Window, {8, 552, 585, 49, 1}, "")),
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
    Messages.Show(kUnreadableMessage, kUnreadableCaption,
                  kMessageOk | kMessageIconExclamation);
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
  ApplyStartupSettings(Messages);
}

void TSetDRAMRegisterForm::RemoveStartupSettingsClick() {
  RemoveStartupSettings(Messages);
}

void TSetDRAMRegisterForm::Exit1Click() {
  Window.Close();
}

void TSetDRAMRegisterForm::About1Click() {
  if (FormAbout != nullptr) FormAbout->ShowModal();
}
