#pragma once

#include <functional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace capsel {

/// Records every message box instead of showing it.
class RecordingPrompter final : public Prompter {
 public:
  struct Box {
    Icon icon;
    std::string title, text;
  };
  void ShowMessage(Icon icon, const std::string& title, const std::string& text) override {
    shown.push_back({icon, title, text});
    if (on_show) on_show();
  }
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const Box& box : shown) titles.push_back(box.title);
    return titles;
  }

  std::vector<Box> shown;
  /// Runs while the box would be open.
  std::function<void()> on_show;
};

}  // namespace capsel
