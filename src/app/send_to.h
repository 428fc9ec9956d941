// The menu item "[送る]に登録(&S)": offers the program to the desktop's file managers for image
// files (a desktop entry "ぱみるねを起動.desktop", see Platform::RegisterSendTo), or takes the
// offer back. Its check mark is not stored in the settings file; it is checked at every
// activation of the main window.
#pragma once

#include "app/platform.h"

namespace pamirune {

inline constexpr char kSendToMenuCaption[] = "[送る]に登録(&S)";
inline constexpr char kSendToEntryName[] = "ぱみるねを起動.desktop";

class SendToItem {
 public:
  explicit SendToItem(Platform& platform) : platform_(platform) {}

  bool Checked() const { return checked_; }

  // The menu item clicked: a checked item removes the entry, an unchecked one writes it. The
  // check mark then shows whether the entry exists. False when the entry could not be written
  // or removed.
  bool Toggle();
  // At activation: checks the item when the entry exists (never unchecks it).
  void CheckRegistration();

 private:
  Platform& platform_;
  bool checked_ = false;
};

}  // namespace pamirune
