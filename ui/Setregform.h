// The main window: one labelled drop-down list per register field in three group boxes, the
// "Refresh" and "Set" buttons, and the File and About menu commands.
#pragma once

#include <string>
#include <vector>

#include "files/StartupSettings.h"
#include "regs/ChoiceBox.h"
#include "regs/Tables.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

// The file types both file commands offer.
inline constexpr char kRegisterFileFilter[] = "Register files (*.mvn)|*.MVN|All Files (*.*)|*.*";
inline constexpr char kRegisterFileExtension[] = "mvn";
inline constexpr char kFileDialogTitle[] = "Open";

// The messages of the two file commands for a file path.
std::string SaveErrorText(const std::string& path);
std::string LoadErrorText(const std::string& path);
inline constexpr char kSaveErrorCaption[] = "Save Error";
inline constexpr char kLoadErrorCaption[] = "Load Error";

// The message of a failed start-up registration: the Run value's, or the log-on task's with
// the system's text for its error.
std::string StartupRegisterErrorText(const StartupResult& result);
inline constexpr char kRegistryErrorCaption[] = "Registry Error";
// What "Apply Settings at Startup" shows for its result: nothing, or the failure's box.
void ReportStartupResult(MessageBoxControl& messages, const StartupResult& result,
                         const std::string& startupFile);

// Where the window's columns stand and how wide their lists are, in pixels at 96 dots per
// inch, and the resolution the window is drawn at. The design values fit an 8-point "MS Sans
// Serif"; where the font the window really gets draws a column's labels wider than the room
// before its lists, those lists (and all that stands right of them) move right by the
// difference, where it draws a list's choices wider than the list, the column's lists widen,
// and the boxes and the window grow with them.
struct MainLayout {
  int dpi = kDesignDpi;
  int timingListLeft = 168;
  int timingListWidth = 113;
  int timingWidth = 289;
  int configLeft = 304;
  int configListLeft = 168;
  int configListWidth = 113;
  int configWidth = 289;
  // The two-by-two MEMCLK block inside the configuration box.
  int clockListWidth = 65;
  int clockLeftList = 72;
  int clockRightLabel = 152;
  int clockRightList = 216;
  // The two columns of the link box.
  int linkListWidth = 80;
  int linkLeftList = 96;
  int linkRightLabel = 200;
  int linkRightList = 328;
  int linkWidth = 585;  // the button strip has the same width
  int clientWidth = 597;
};

// The smallest free room between a label's text and its list.
inline constexpr int kLabelGap = 4;

// The client area's height in pixels at 96 dots per inch.
inline constexpr int kMainClientHeight = 608;

// The layout for the labels' texts as `factory` measures them in the window's fonts drawn at
// `dpi` dots per inch.
MainLayout LayOutMainWindow(ControlFactory& factory, int dpi);

// The layout at the screen's resolution, or where the window would not fit the work area
// there, at the highest lower one at which it does (FitDpi): the whole window, fonts and all,
// drawn smaller, so that every control stays on the screen in the design's arrangement.
MainLayout FitMainLayout(ControlFactory& factory);

class TSetDRAMRegisterForm {
 public:
  // Builds the window and its controls, binds the 38 fields, disables "Set", reads both
  // register groups and shows every field. The window stays hidden until shown.
  explicit TSetDRAMRegisterForm(ControlFactory& factory);
  TSetDRAMRegisterForm(const TSetDRAMRegisterForm&) = delete;
  TSetDRAMRegisterForm& operator=(const TSetDRAMRegisterForm&) = delete;

  // Event handlers.
  void RefreshButtonClick();
  void SetRegistersButtonClick();
  void SaveClick();
  void RestoreClick();
  void ApplyStartupSettingsClick();
  void RemoveStartupSettingsClick();
  void Exit1Click();
  void About1Click();
  // A user's pick or typing in any of the 38 lists.
  void FieldListChange(ChoiceBox& list);

  // Binds one label and list to a field; used only while the window is built.
  void BindField(LabelControl& label, ChoiceBox& list, const RegisterField& field);
  // Makes every list show what the cached register values hold.
  void ShowAllFields();

  // The lists in the order they were bound (the table order of the fields).
  const std::vector<ChoiceBox*>& BoundLists() const { return boundLists_; }

  FormControl& Window;

  GroupBoxControl& TimingGroupBox;
  LabelControl& CASLabel;
  ChoiceBox& CASLatency;
  LabelControl& RowCycleTimeLabel;
  ChoiceBox& RowCycleTime;
  LabelControl& RowRefreshCycleTimeLabel;
  ChoiceBox& RowRefreshCycleTime;
  LabelControl& RASToCASDelayLabel;
  ChoiceBox& RASToCASDelay;
  LabelControl& RASToRASDelayLabel;
  ChoiceBox& RASToRASDelay;
  LabelControl& MinRASTimeLabel;
  ChoiceBox& MinRASTime;
  LabelControl& RowPrechargeTimeLabel;
  ChoiceBox& RowPrechargeTime;
  LabelControl& WriteRecoveryTimeLabel;
  ChoiceBox& WriteRecoveryTime;
  LabelControl& WriteToReadDelayLabel;
  ChoiceBox& WriteToReadDelay;
  LabelControl& ReadToWriteDelayLabel;
  ChoiceBox& ReadToWriteDelay;
  LabelControl& RefreshRateLabel;
  ChoiceBox& RefreshRate;
  LabelControl& Label1;  // the legend of the " *" mark

  GroupBoxControl& GroupBox2;
  LabelControl& ReadWriteQBypassLabel;
  ChoiceBox& ReadWriteQBypass;
  LabelControl& ControllerModeLabel;
  ChoiceBox& ControllerMode;
  LabelControl& EccLabel;
  ChoiceBox& Ecc;
  LabelControl& TwoTLabel;
  ChoiceBox& TwoT;
  LabelControl& BypassMaxLabel;
  ChoiceBox& BypassMax;
  LabelControl& MaxAsyncLatencyLabel;
  ChoiceBox& MaxAsyncLatency;
  LabelControl& ReadPreambleLabel;
  ChoiceBox& ReadPreamble;
  LabelControl& IdleCycleLimitLabel;
  ChoiceBox& IdleCycleLimit;
  LabelControl& DynamicIdleCycleCounterLabel;
  ChoiceBox& DynamicIdleCycleCounter;
  LabelControl& MemClkFreqLabel;
  ChoiceBox& MemClkFreq;
  LabelControl& MemClk0Label;
  ChoiceBox& MemClk0;
  LabelControl& MemClk1Label;
  ChoiceBox& MemClk1;
  LabelControl& MemClk2Label;
  ChoiceBox& MemClk2;
  LabelControl& MemClk3Label;
  ChoiceBox& MemClk3;

  GroupBoxControl& GroupBox3;
  LabelControl& LinkFreqLabel;
  ChoiceBox& LinkFreq;
  LabelControl& CRCFloodEnableLabel;
  ChoiceBox& CRCFloodEnable;
  LabelControl& StopTristateEnableLabel;
  ChoiceBox& StopTristateEnable;
  LabelControl& ExtControlTimeLabel;
  ChoiceBox& ExtControlTime;
  LabelControl& LinkWidthInLabel;
  ChoiceBox& LinkWidthIn;
  LabelControl& LinkWidthOutLabel;
  ChoiceBox& LinkWidthOut;
  LabelControl& RequestBufferCountLabel;
  ChoiceBox& RequestBufferCount;
  LabelControl& PostedRequestBufferCountLabel;
  ChoiceBox& PostedRequestBufferCount;
  LabelControl& ResponseBufferCountLabel;
  ChoiceBox& ResponseBufferCount;
  LabelControl& ProbeBufferCountLabel;
  ChoiceBox& ProbeBufferCount;
  LabelControl& RequestDataBufferCountLabel;
  ChoiceBox& RequestDataBufferCount;
  LabelControl& PostedRequestDataBufferCountLabel;
  ChoiceBox& PostedRequestDataBufferCount;
  LabelControl& ResponseDataBufferCountLabel;
  ChoiceBox& ResponseDataBufferCount;

  GroupBoxControl& GroupBox1;
  ButtonControl& RefreshButton;
  ButtonControl& SetRegistersButton;

  MenuControl& MainMenu;
  MenuItemControl& File1;
  MenuItemControl& Save1;
  MenuItemControl& Restore1;
  MenuItemControl& N2;
  MenuItemControl& Setstartup1;
  MenuItemControl& Removestartupsettings1;
  MenuItemControl& N1;
  MenuItemControl& Exit1;
  MenuItemControl& About1;

  OpenDialogControl& OpenDialog;
  MessageBoxControl& Messages;  // the window's message boxes, owned by the window

 private:
  TSetDRAMRegisterForm(ControlFactory& factory, const MainLayout& layout);
  void BindAllFields();
  // Sets every setting of the shared file dialog for one command.
  void PrepareOpenDialog(OpenOptions options);

  std::vector<ChoiceBox*> boundLists_;
};

// The one main window of the program; null before it is created.
extern TSetDRAMRegisterForm* SetDRAMRegisterForm;
