// Placement helpers shared by the toolkits: where a control stands in its form, the order in
// which the user tabs through a form's controls, and the resolution a form is drawn at so that
// it fits the screen.
#include "ui/Controls.h"

#include <algorithm>

int FontPixelHeight(const FontSpec& font, int dpi) {
  return (font.points * dpi + 36) / 72;
}

int AtDpi(int pixels, int dpi) {
  long long scaled = static_cast<long long>(pixels) * dpi;
  long long half = kDesignDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kDesignDpi
                                      : -((-scaled + half) / kDesignDpi));
}

int FitDpi(ControlFactory& factory, const FormStyle& style, ClientWidthAt clientWidthAt) {
  const int screen = factory.ScreenDpi();
  const ScreenArea work = factory.WorkArea();
  const PixelSize frame = factory.FrameSize(style);
  const int roomWidth = work.width - frame.width;
  const int roomHeight = work.height - frame.height;
  // The height does not change with the text: the highest resolution at which it fits is the
  // first one to try; below it, the text of each one is measured until the width fits too.
  int dpi = screen;
  while (dpi > kSmallestFitDpi && AtDpi(style.clientHeight, dpi) > roomHeight) --dpi;
  for (; dpi > kSmallestFitDpi; --dpi) {
    if (AtDpi(clientWidthAt(factory, dpi), dpi) <= roomWidth) return dpi;
  }
  return std::min(screen, kSmallestFitDpi);
}

Placement InForm(const Container& parent, const Placement& at) {
  Placement result = at;
  result.left += parent.originLeft;
  result.top += parent.originTop;
  return result;
}

std::vector<int> TabPath(const Container& parent, const Placement& at) {
  std::vector<int> path = parent.tabPath;
  path.push_back(at.tabOrder);
  return path;
}

bool TabsBefore(const std::vector<int>& a, const std::vector<int>& b) {
  // A prefix (the container) sorts first, and -1 (no tab stop) before every tab order.
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}
