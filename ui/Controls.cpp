// Placement helpers shared by the toolkits: where a control stands in its form, and the order
// in which the user tabs through a form's controls.
#include "ui/Controls.h"

#include <algorithm>

int FontPixelHeight(const FontSpec& font, int dpi) {
  return (font.points * dpi + 36) / 72;
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
